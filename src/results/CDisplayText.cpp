// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/CDisplayText.h"

#include <QFile>
#include <QStringDecoder>

QString CDisplayText::FromBytes(const std::string& bytes) {
    QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(view);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(view);
}

std::string CDisplayText::PathToBytes(const QString& path) {
    const QByteArray bytes = QFile::encodeName(path);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

#include "app/CSettingsStore.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QVariant>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString LocalPath(const std::string& path) {
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

// Sections and names match without regard to letter case, as they always have
// ("[settings]" in an old import file is the section "Settings"), so letters are
// stored in lower case. QSettings gives '/' and '\' a meaning in keys and cannot
// hold an empty key, but sections and names are arbitrary bytes (the import file
// can hold anything): every byte other than a letter, a digit, '_', '.' or '-'
// becomes %XX, and the empty name becomes a lone '%', which no encoded name can
// otherwise be.
QString EncodeKey(const std::string& key) {
    if (key.empty())
        return QStringLiteral("%");
    static const char kHex[] = "0123456789ABCDEF";
    QString out;
    out.reserve(static_cast<qsizetype>(key.size()));
    for (char ch : key) {
        auto c = static_cast<unsigned char>(ch);
        if (c >= 'A' && c <= 'Z')
            out.append(QLatin1Char(static_cast<char>(c - 'A' + 'a')));
        else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            out.append(QLatin1Char(static_cast<char>(c)));
        else if (c == '_' || c == '.' || c == '-')
            out.append(QLatin1Char(static_cast<char>(c)));
        else {
            out.append(QLatin1Char('%'));
            out.append(QLatin1Char(kHex[c >> 4]));
            out.append(QLatin1Char(kHex[c & 0xF]));
        }
    }
    return out;
}

// Valid UTF-8 is stored as text so the file stays readable; any other bytes are
// stored as a byte array, which QSettings keeps exactly.
QVariant ValueToVariant(const std::string& value) {
    QByteArray bytes(value.data(), static_cast<qsizetype>(value.size()));
    QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() == bytes)
        return text;
    return bytes;
}

std::string VariantToValue(const QVariant& v) {
    QByteArray bytes;
    switch (v.typeId()) {
    case QMetaType::QByteArray:
        bytes = v.toByteArray();
        break;
    case QMetaType::QStringList: // an unquoted "a,b" written by hand
        bytes = v.toStringList().join(QLatin1Char(',')).toUtf8();
        break;
    default:
        bytes = v.toString().toUtf8();
        break;
    }
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string TrimmedC(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])) != 0)
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])) != 0)
        --e;
    return s.substr(b, e - b);
}

} // namespace

std::string CSettingsStore::DefaultFolder() {
    QByteArray base =
        QFile::encodeName(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    return std::string(base.constData(), static_cast<std::size_t>(base.size())) +
           "/Veldmark Software";
}

bool CSettingsStore::OpenBaseKey(bool* pbCreatedNew, const std::string& folder,
                                 const std::string& application) {
    m_strFolder = folder;
    m_strApplication = application;
    m_strFile.clear(); // until the file is there, reads give defaults and writes fail
    if (pbCreatedNew != nullptr)
        *pbCreatedNew = false;

    std::string file = folder + "/" + application + ".conf";
    if (!QDir().mkpath(LocalPath(folder)))
        return false;
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        if (pbCreatedNew != nullptr)
            *pbCreatedNew = true;
    } else {
        struct stat st {};
        if (errno != EEXIST || ::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return false;
    }
    m_strFile = std::move(file);
    return true;
}

bool CSettingsStore::OpenAndImport() {
    bool bCreatedNew = false;
    if (!OpenBaseKey(&bCreatedNew))
        return false;
    if (bCreatedNew)
        ImportIniFile();
    return true;
}

std::string CSettingsStore::IniFilePath() const {
    return m_strFolder + "/" + m_strApplication + ".INI";
}

bool CSettingsStore::ReadRaw(const std::string& section, const std::string& name,
                             std::string& out) const {
    if (m_strFile.empty())
        return false;
    QSettings settings(LocalPath(m_strFile), QSettings::IniFormat);
    if (settings.status() == QSettings::AccessError)
        return false;
    if (!section.empty())
        settings.beginGroup(EncodeKey(section));
    QVariant v = settings.value(EncodeKey(name));
    if (!v.isValid())
        return false;
    std::string value = VariantToValue(v);
    value.resize(std::min(value.size(), value.find('\0')));
    if (value.size() + 1 > kMaxReadSize)
        return false;
    out = std::move(value);
    return true;
}

int CSettingsStore::GetInt(const std::string& section, const std::string& name,
                           int defaultValue) const {
    std::string text;
    if (!ReadRaw(section, name, text))
        return defaultValue;
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0)
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i >= text.size() || std::isdigit(static_cast<unsigned char>(text[i])) == 0)
        return defaultValue;
    long long magnitude = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > static_cast<long long>(INT_MAX) + 1)
            return defaultValue;
    }
    long long value = negative ? -magnitude : magnitude;
    if (value > INT_MAX || value < INT_MIN)
        return defaultValue;
    return static_cast<int>(value);
}

std::string CSettingsStore::GetString(const std::string& section, const std::string& name,
                                      const std::string& defaultValue) const {
    std::string text;
    if (!ReadRaw(section, name, text))
        return defaultValue;
    return text;
}

bool CSettingsStore::SetInt(const std::string& section, const std::string& name, int value) {
    return SetString(section, name, std::to_string(value));
}

bool CSettingsStore::SetString(const std::string& section, const std::string& name,
                               const std::string& value) {
    std::unique_ptr<QSettings> settings = OpenForWriting();
    if (!settings)
        return false;
    if (!section.empty())
        settings->beginGroup(EncodeKey(section));
    settings->setValue(EncodeKey(name), ValueToVariant(value.substr(0, value.find('\0'))));
    settings->sync();
    return settings->status() == QSettings::NoError;
}

std::unique_ptr<QSettings> CSettingsStore::OpenForWriting() {
    if (m_strFile.empty())
        return nullptr;
    const QString path = LocalPath(m_strFile);
    auto settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    (void)settings->allKeys(); // the file is parsed on first use
    if (settings->status() == QSettings::AccessError)
        return nullptr; // never overwrite a file that could not be read
    if (settings->status() == QSettings::FormatError) {
        // Lines that make no sense are dropped at the next write; every value that
        // could be read is kept. A fresh object reports only the write's own status.
        settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    }
    return settings;
}

int CSettingsStore::ImportIniFile() {
    QFile file(LocalPath(IniFilePath()));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    QByteArray all = file.readAll();
    file.close();

    std::unique_ptr<QSettings> owner = OpenForWriting();
    if (!owner)
        return 0;
    QSettings& settings = *owner;

    int stored = 0;
    bool bInSection = false;
    bool bGroupOpen = false;
    qsizetype pos = 0;
    while (pos < all.size()) {
        // A line as a 520-byte line buffer reads it: up to and including its line
        // feed, but at most 519 bytes; the rest of a longer line follows as a piece
        // of its own. A NUL ends the text of a piece.
        qsizetype end = all.indexOf('\n', pos);
        end = (end < 0) ? all.size() : end + 1;
        end = std::min(end, pos + static_cast<qsizetype>(kImportPieceSize));
        std::string piece(all.constData() + pos, static_cast<std::size_t>(end - pos));
        pos = end;
        piece.resize(std::min(piece.size(), piece.find('\0')));

        std::string line = TrimmedC(piece);
        std::size_t open = line.find('[');
        std::size_t close = line.find(']');
        if (!line.empty() && open == 0 && close == line.size() - 1) {
            line[open] = ' ';
            line[close] = ' ';
            std::string sectionName = TrimmedC(line);
            if (bGroupOpen)
                settings.endGroup();
            bGroupOpen = !sectionName.empty();
            if (bGroupOpen)
                settings.beginGroup(EncodeKey(sectionName));
            bInSection = true; // "[]" names the base itself
            continue;
        }
        std::size_t eq = line.find('=');
        if (eq == std::string::npos || !bInSection)
            continue;
        settings.setValue(EncodeKey(line.substr(0, eq)), ValueToVariant(line.substr(eq + 1)));
        ++stored;
    }
    if (bGroupOpen)
        settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError ? stored : 0;
}

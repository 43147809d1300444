// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CLinkvetApp.h"
#include "engine/CDescriptorBudget.h"

#include <QApplication>

int main(int argc, char** argv) {
    // As linkvet-cli does, and for the same reason here rather than in the
    // session: checking many links at once wants descriptors the soft limit
    // may not give.
    CDescriptorBudget::RaiseSoftLimit();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Linkvet"));
    CLinkvetApp linkvet;
    if (!linkvet.InitInstance())
        return 1;
    const int status = QApplication::exec();
    linkvet.ExitInstance();
    return status;
}

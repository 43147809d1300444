#include "app/CLinkvetApp.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Linkvet"));
    CLinkvetApp linkvet;
    if (!linkvet.InitInstance())
        return 1;
    const int status = QApplication::exec();
    linkvet.ExitInstance();
    return status;
}

#include "dialogs/CStaticLink.h"

#include "app/CMainFrame.h"
#include "app/CSettingsStore.h"
#include "dialogs/CAboutDlg.h"
#include "support/CModalAnswerer.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Stands in for the desktop's handler of a scheme.
class COpenRecorder : public QObject {
    Q_OBJECT
public slots:
    void Open(const QUrl& url) { m_opened.push_back(url.toString().toStdString()); }

public:
    std::vector<std::string> m_opened;
};

const QColor kBlue(Qt::blue);
const QColor kPurple(Qt::darkMagenta);

} // namespace

TEST(StaticLinkTest, AnOpenedLinkStaysPurpleForTheRunAndAFailedOneStaysBlue) {
    CSettingsStore settings;
    ASSERT_TRUE(settings.OpenBaseKey(nullptr));
    bool bMailVisited = false, bHomeVisited = false;
    CMainFrame frame(settings, bMailVisited, bHomeVisited);
    frame.show();
    COpenRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &recorder, "Open");
    const auto showAbout = [&](const std::function<void(CStaticLink&, CStaticLink&)>& act) {
        CModalAnswerer answerer([&](QWidget* dialog) {
            act(*dialog->findChild<CStaticLink*>(QStringLiteral("mailLink")),
                *dialog->findChild<CStaticLink*>(QStringLiteral("homeLink")));
            dialog->close();
        });
        frame.Action(CMainFrame::Command::AppAbout)->trigger();
    };

    showAbout([&](CStaticLink&, CStaticLink& home) {
        // Without a desktop, nothing answers for http: a beep, and no change.
        QMouseEvent over(QEvent::MouseMove, QPointF(1, 1), QPointF(1, 1), Qt::NoButton, {}, {});
        QApplication::sendEvent(&home, &over);
        EXPECT_EQ(home.cursor().pixmap().size(), QSize(32, 32)); // the program's own hand
        QSignalSpy failed(&home, &CStaticLink::OpenFailed);
        QTest::mouseClick(&home, Qt::LeftButton);
        EXPECT_EQ(failed.count(), 1);
        EXPECT_EQ(home.TextColor(), kBlue);
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "Open");
        QTest::mouseClick(&home, Qt::LeftButton);
        EXPECT_EQ(home.TextColor(), kPurple);
        QApplication::sendEvent(&home, &over); // for a second after a click, still the arrow
        EXPECT_EQ(home.cursor().shape(), Qt::ArrowCursor);
    });
    showAbout([&](CStaticLink& mail, CStaticLink& home) {
        EXPECT_EQ(home.TextColor(), kPurple);
        EXPECT_EQ(mail.TextColor(), kBlue);
        mail.OnClicked();
        mail.OnClicked();
        EXPECT_EQ(mail.TextColor(), kPurple);
    });
    const std::string mailTo = std::string("mailto:") + CAboutDlg::kMakerMail;
    EXPECT_EQ(recorder.m_opened,
              (std::vector<std::string>{"http://www.veldmark.example/", mailTo, mailTo}));
    EXPECT_TRUE(bMailVisited && bHomeVisited);
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
}

#include "CStaticLinkTest.moc"

#include "dialogs/CStaticLink.h"

#include "app/CMainFrame.h"
#include "app/CSettingsStore.h"
#include "dialogs/CAboutDlg.h"
#include "support/CModalAnswerer.h"

#include <QAction>
#include <QDesktopServices>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
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

const QColor kBlue(0, 0, 255);
const QColor kPurple(128, 0, 128);

} // namespace

TEST(StaticLinkTest, AnOpenedLinkStaysPurpleForTheRunAndAFailedOneStaysBlue) {
    CSettingsStore settings;
    ASSERT_TRUE(settings.OpenBaseKey(nullptr));
    bool bMailVisited = false;
    bool bHomeVisited = false;
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

    showAbout([&](CStaticLink& mail, CStaticLink& home) {
        // Without a desktop, nothing answers for http: a beep, and no change.
        QSignalSpy failed(&home, &CStaticLink::OpenFailed);
        QTest::mouseClick(&home, Qt::LeftButton);
        EXPECT_EQ(failed.count(), 1);
        EXPECT_FALSE(bHomeVisited);
        EXPECT_EQ(home.TextColor(), kBlue);
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "Open");
        QTest::mouseClick(&home, Qt::LeftButton);
        EXPECT_EQ(failed.count(), 1);
        EXPECT_EQ(home.TextColor(), kPurple);
        EXPECT_EQ(mail.TextColor(), kBlue);
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

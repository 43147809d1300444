#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class CAboutDlg;
}

/// "About Linkvet": the version, a few words on the program and the maker's
/// two live links, mail and home page.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kMakerMail = "linkvet@veldmark.example";

    /// The flags say whether each link was opened in this run; they belong to
    /// the caller and are set when a link is opened.
    CAboutDlg(QWidget* parent, bool& bMailVisited, bool& bHomeVisited);
    ~CAboutDlg() override;

private:
    std::unique_ptr<Ui::CAboutDlg> const m_ui;
};

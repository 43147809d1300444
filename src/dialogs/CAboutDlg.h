// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class CAboutDlg;
}

/// Which of the About box's two links have been opened in this run.
struct SVisitedLinks {
    bool bMail = false;
    bool bHome = false;
};

/// "About Linkvet": the version, a few words on the program and the maker's
/// two live links, mail and home page.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kMakerMail = "linkvet@veldmark.example";

    /// `visited` says which links were opened earlier in this run.
    CAboutDlg(QWidget* parent, SVisitedLinks visited);
    ~CAboutDlg() override;

    /// The links opened so far, earlier ones included.
    SVisitedLinks VisitedLinks() const;

private:
    std::unique_ptr<Ui::CAboutDlg> const m_ui;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <memory>

struct SProgressValues;

namespace Ui {
class CTestProgressDlg;
}

/// The modeless "Testing Progress" window of a running test: the current file
/// and link, their counts, and a bar each. It has no close box and shows without
/// taking the focus from the main window; the test opens and closes it.
class CTestProgressDlg : public QDialog {
    Q_OBJECT
public:
    explicit CTestProgressDlg(QWidget* parent);
    ~CTestProgressDlg() override;

    /// Shows the window at once, centred on its parent.
    void Create();
    /// Shows `values` (texts, bar ranges and positions).
    void SetValues(const SProgressValues& values);

signals:
    /// Escape in this window: it does not close, the test is asked to stop.
    void StopRequested();

protected:
    void reject() override { emit StopRequested(); }

private:
    std::unique_ptr<Ui::CTestProgressDlg> const m_ui;
};

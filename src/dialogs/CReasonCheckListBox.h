// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QListWidget>

/// One checkable line per known outcome, in the outcome table's order and never
/// sorted. The items hold no text: each line shows its outcome's text, taken
/// from the table whenever it is painted. Lines cannot be selected; only their
/// check boxes change.
class CReasonCheckListBox : public QListWidget {
    Q_OBJECT
public:
    /// Height of a line at the usual font; a larger font gets a taller line.
    static constexpr int kRowHeight = 20;

    explicit CReasonCheckListBox(QWidget* parent = nullptr);

    /// Adds the 21 lines, all unchecked, to an empty list.
    void AddReasonItems();
    /// Checks line i unless character i of `filter` is '0'.
    void SetChecks(const std::string& filter);
    /// One character per line: '1' checked, '0' not.
    std::string Checks() const;

    QSize sizeHint() const override;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/RadioGroups.h"

#include <QRadioButton>
#include <algorithm>
#include <vector>

void KeepTabOnCheckedRadio(std::initializer_list<QRadioButton*> group) {
    const auto update = [buttons = std::vector<QRadioButton*>(group)] {
        const auto checked = std::ranges::find_if(buttons, &QRadioButton::isChecked);
        const QRadioButton* stop = checked != buttons.end() ? *checked : buttons.front();
        for (QRadioButton* radio : buttons)
            radio->setFocusPolicy(radio == stop ? Qt::StrongFocus : Qt::ClickFocus);
    };
    for (QRadioButton* radio : group)
        QObject::connect(radio, &QRadioButton::toggled, radio, update);
    update();
}

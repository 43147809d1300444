// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <initializer_list>

class QRadioButton;

/// Tab enters `group` at its checked button (at its first while none is), as
/// in a native dialog, so that Space there keeps the choice; the stop follows
/// the choice however it changes.
void KeepTabOnCheckedRadio(std::initializer_list<QRadioButton*> group);

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <string>

/// An ordered list of byte strings, taken from its head as a test goes on.
using StringList = std::deque<std::string>;

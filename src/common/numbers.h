// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

constexpr double Pi = 3.14159265358979323846;

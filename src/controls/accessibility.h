// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Gives the custom controls (handwriting box, feedback display) a role of
// their own for screen readers; Qt's own controls already have one.
void installAccessibility();

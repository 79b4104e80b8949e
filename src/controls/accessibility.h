// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Gives the custom controls what screen readers need: the handwriting box
// its result as value and its candidates as children that can be pressed,
// the feedback display the outcome it shows, value labels their text
// beside their name. Qt's own controls already have theirs.
void installAccessibility();

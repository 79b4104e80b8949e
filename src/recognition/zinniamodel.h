// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a Zinnia model file so that Zinnia can trust it.
#pragma once

#include "common/regularfile.h"

#include <QByteArrayView>
#include <QString>

// The Tegaki model is 26 MB; anything far larger is not a model.
inline constexpr qint64 MaxZinniaModelBytes = 256LL << 20;

// The bytes of the model file at path, through viewRegularFile (the
// system's model is mapped, shared by every program that uses it), for
// zinnia::Recognizer::open(ptr, size), which keeps pointing into them: they
// must outlive the recogniser. Zinnia follows the counts and offsets in a
// model without checking them against its size, so the layout is walked
// here first. Empty, with *why saying what is wrong, for anything else.
FileBytes readZinniaModel(const QString &path, QString *why);

// Whether bytes are laid out as a Zinnia model: a header, then as many
// entries as it says (a name of 16 bytes ending in a zero byte, a bias, and
// feature pairs up to an index of -1), ending exactly at the end.
bool isZinniaModelLayout(QByteArrayView bytes);

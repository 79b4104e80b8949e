// SPDX-License-Identifier: GPL-3.0-or-later
// A QR code as a picture, for the seats window.
#pragma once

#include <QImage>
#include <QString>

// The text as a QR code (libqrencode, error correction M), each module
// `module` pixels wide, with the four-module quiet zone around it. A null
// image when the text cannot be encoded (too long, out of memory).
QImage qrCodeImage(const QString &text, int module);

// SPDX-License-Identifier: GPL-3.0-or-later
// One write of the results as it waits in the host's queue for the
// database: what it is and its values, kept as a line of JSON.
#pragma once

#include <QByteArray>
#include <QVariantList>

struct QueuedWrite
{
    // What each write is; the numbers are kept in the queue's file.
    enum Kind {
        AddClassGame = 1,
        CloseClassGame,
        AddChild,
        ForgetChild,
        StartGame,
        RecordAnswer,
        FinishGame,
        InterruptGame,
        DeleteClassGame,
        Reopen,
        Kinds
    };
    // A queued entry larger than this is not one the host wrote.
    static constexpr int MaxBytes = 1 << 20;

    int kind = 0;
    // Whole numbers, text, null text, and lists of these.
    QVariantList values;

    // A known kind with as many values as it has.
    bool isWellFormed() const;
    // What it is, for a message: "an answer".
    const char *what() const;

    QByteArray encode() const;
    // False for anything encode() did not make, or not well formed.
    static bool decode(int kind, const QByteArray &data, QueuedWrite *out);
};

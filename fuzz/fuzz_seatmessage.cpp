// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for what a seat's page sends: each line of the input is one
// message, read and checked, and what passes is run on a seat, with the
// invariants the seat relies on.
#include "seats/remoteseat.h"
#include "seats/seatlink.h"
#include "seats/seatmessage.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QJsonDocument>
#include <cstdlib>

namespace {

struct Link : SeatLink
{
    void send(const QByteArray &message) override
    {
        if (QJsonDocument::fromJson(message).isNull())
            std::abort(); // the seat sent something the page cannot read
    }
    void close(const QString &) override {}
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // Timers need an application; it lives as long as the fuzzer.
    new QCoreApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    Link link;
    RemoteSeat seat(1, QStringLiteral("123456"), nullptr);
    seat.AllUnLock();
    seat.admit(QString(), &link, nullptr);
    for (const QByteArray &line : bytes.split('\n')) {
        const SeatCommand c = SeatMessage::parse(line);
        if (c.kind == SeatCommand::Invalid) {
            if (c.refusal.isEmpty())
                std::abort(); // refused without saying why
            continue;
        }
        if (!c.refusal.isEmpty())
            std::abort();
        if (c.kind == SeatCommand::Stroke
            && (c.points.isEmpty() || c.points.size() > SeatBox::MaxPoints || (c.box != 0 && c.box != 1)))
            std::abort(); // a stroke the checks should have refused
        seat.handle(c);
    }
    for (int b = 0; b < 2; ++b) {
        if (seat.box(b).strokes().size() > SeatBox::MaxStrokes)
            std::abort(); // a box grown past its bound
    }
    QCoreApplication::processEvents();
    link.send(QJsonDocument(seat.stateMessage(true)).toJson(QJsonDocument::Compact));
    seat.linkGone(&link);
    return 0;
}

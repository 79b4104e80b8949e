// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the checks of what a seat's client sends, before the web
// server or the WebSocket reads it: the first byte chooses the check and
// where the rest is cut in two; the verdict must not depend on the cut.
#include "seats/streamchecks.h"

#include <QByteArray>
#include <cstdlib>

namespace {

template<typename Check>
void splitAlike(const QByteArray &bytes, qsizetype cut, const Check &fresh = Check())
{
    Check whole = fresh;
    const bool once = whole.feed(bytes);
    Check parts = fresh;
    const bool first = parts.feed(bytes.left(cut));
    const bool second = parts.feed(bytes.mid(cut));
    if (once != (first && second) || once == whole.failed())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    const qsizetype cut = bytes.isEmpty() ? 0 : qsizetype(data[0] >> 2) % (bytes.size() + 1);
    if (data[0] & 1) {
        WebSocketFrameCheck check;
        // Before a join: the first frame bound, as the server binds it.
        if (data[0] & 2)
            check.limitFirstFrame(256);
        splitAlike(bytes, cut, check);
    } else {
        splitAlike<HttpRequestCheck>(bytes, cut);
    }
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// A handwriting model file as the recogniser's start reads it: the layout
// check, then Zinnia opening what passed it and classifying a character.
// Zinnia is not instrumented, so the bytes end where a page that cannot be
// read begins: any read past them crashes at once.
#include "recognition/zinniamodel.h"

#include <zinnia.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    const size_t span = (size + page - 1) / page * page + page;
    void *map = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED)
        return 0;
    char *guard = static_cast<char *>(map) + span - page;
    mprotect(guard, page, PROT_NONE);
    char *bytes = guard - size;
    if (size)
        memcpy(bytes, data, size);

    if (isZinniaModelLayout(QByteArrayView(bytes, qsizetype(size)))) {
        std::unique_ptr<zinnia::Recognizer> model(zinnia::Recognizer::create());
        if (model->open(bytes, size)) {
            std::unique_ptr<zinnia::Character> character(zinnia::Character::create());
            character->set_width(300);
            character->set_height(300);
            for (int i = 0; i < 12; ++i)
                character->add(size_t(i / 4), 20 + 20 * i, 280 - 15 * (i % 4) * (i % 3));
            std::unique_ptr<zinnia::Result> result(model->classify(*character, 10));
            for (size_t i = 0; result && i < result->size(); ++i)
                (void)strlen(result->value(i));
        }
    }
    munmap(map, span);
    return 0;
}

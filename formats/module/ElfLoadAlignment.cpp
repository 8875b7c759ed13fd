#include "ElfLoadAlignment.h"

#include <algorithm>
#include <gelf.h>
#include <libelf.h>

std::optional<quint64> SmallestLoadAlignment(QByteArray start)
{
    if (elf_version(EV_CURRENT) == EV_NONE)
        return std::nullopt;
    // libelf may convert the image in place (it maps memory as private), so it gets bytes of
    // its own: data() detaches `start` from any caller that still shares it.
    Elf *elf = elf_memory(start.data(), std::size_t(start.size()));
    if (!elf)
        return std::nullopt;
    std::optional<quint64> smallest;
    std::size_t count = 0;
    bool whole = elf_kind(elf) == ELF_K_ELF && elf_getphdrnum(elf, &count) == 0;
    for (std::size_t i = 0; whole && i < count; ++i) {
        GElf_Phdr header;
        whole = gelf_getphdr(elf, int(i), &header) != nullptr;
        if (whole && header.p_type == PT_LOAD)
            smallest = std::min(smallest.value_or(header.p_align), quint64(header.p_align));
    }
    elf_end(elf);
    return whole ? smallest : std::nullopt;
}

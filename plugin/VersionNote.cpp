// The plugin's version in an ELF note (owner "ZORVA", type 1, NT_VERSION), the
// Linux build's counterpart of the Windows build's version resource: tools
// read it from the file without loading the plugin (`readelf -n`, the
// development host's --version), it needs no export, and strip keeps it. The
// Windows build has its version resource instead (cmake/windows/version.rc.in).
#include "ZorvaVersion.h"

// Allocated, so the linker puts it into a PT_NOTE segment, found through the
// program headers even when the section headers are gone.
__asm__(".pushsection .note.zorva.version, \"a\", @note\n"
        "  .balign 4\n"
        "  .long 2f - 1f\n" // owner size, with its NUL
        "  .long 4f - 3f\n" // description size, with its NUL
        "  .long 1\n"       // NT_VERSION
        "1: .asciz \"ZORVA\"\n"
        "2: .balign 4\n"
        "3: .asciz \"" ZORVA_VERSION_TEXT "\"\n"
        "4: .balign 4\n"
        "  .popsection\n");

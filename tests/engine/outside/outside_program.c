/* An outside program in plain C: the public header compiles as C, the
   engine's private headers are out of its reach, and the static library
   links with nothing but zlib. It writes an empty archive into the current
   folder and reads it back. */
#include <grf.h>
#include <stdio.h>
#include <string.h>

#if defined(__has_include)
#if __has_include(<platform.h>) || __has_include(<grf_format.h>)
#error "only grf.h may be reachable from the engine's include folder"
#endif
#endif

int main(void) {
    /* The library linked is the one the header describes. */
    if (GrfVersion() != GRF_VERSION_NUMBER || GrfVersion() >> 16 != GRF_VERSION_MAJOR) return 1;
    /* The older names still mean the same. */
    wchar_t* wide = GrfCp949ToWide("data\\a.txt");
    char* narrow = wide ? WideToCp949(wide) : NULL;
    if (!narrow || strcmp(narrow, "data\\a.txt") != 0 || ENTRY_DELETED != GRF_ENTRY_DELETED)
        return 1;
    GrfFreeBuffer(wide);
    GrfFreeBuffer(narrow);
    GrfArchive* archive = GrfCreate(L"outside.grf");
    if (archive == GRF_NO_ARCHIVE || archive->count != 0) return 1;
    if (GrfCycleFromName("data\\a.gnd", 100) != 0 || GrfAlign8(9) != 16) return 1;
    remove("outside.grf");
    GrfSetVersion(0x200);
    if (GrfRepack(archive, L"outside.grf", NULL) != 0) return 1;
    if (GrfClose(&archive) != 0 || archive != GRF_NO_ARCHIVE) return 1;
    archive = GrfOpen(L"outside.grf", NULL);
    if (archive == GRF_NO_ARCHIVE || archive->count != 0) return 1;
    GrfClose(&archive);
    printf("linked against caskwright_engine\n");
    return 0;
}

/* An outside program in plain C: the public header compiles as C and the
   static library links with nothing but zlib. */
#include <grf.h>
#include <stdio.h>

int main(void) {
    GrfArchive* archive = GrfCreate(L"output.grf");
    if (archive == GRF_NO_ARCHIVE || archive->count != 0) return 1;
    if (GrfCycleFromName("data\\a.gnd", 100) != 0 || GrfAlign8(9) != 16) return 1;
    if (GrfClose(&archive) != 0 || archive != GRF_NO_ARCHIVE) return 1;
    printf("linked against caskwright_engine\n");
    return 0;
}

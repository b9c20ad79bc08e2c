/* Calls the installed library through its installed header: the canned
 * record touches no hardware, so this runs on any machine. */
#include <stdio.h>

#include <velmora/pminfo.h>

int main(void) {
    PMInfo* info = NULL;
    if (getTestPMInfo(6, &info) != 0 || info == NULL) {
        fprintf(stderr, "getTestPMInfo failed\n");
        return 1;
    }
    const int status = info->status;
    const int brandStatus = info->brandStatus;
    freePMInfo(info);
    printf("status=%d brandStatus=%d\n", status, brandStatus);
    return status == 0 && brandStatus == PM_BRAND_DEBRAND ? 0 : 1;
}

/*
 * archive_step.h: the step of the setup sequence that extracts the disk's
 * archive, a request to the extraction engine built from the setup state.
 */
#ifndef TARVEX_SETUP_ARCHIVE_STEP_H
#define TARVEX_SETUP_ARCHIVE_STEP_H

#include "platform/platform.h"

/* "setup.tv" from the source directory into the target directory under the
   progress dialog.  1 on success. */
int extract_setup_archive(plat_window progress_dialog);

#endif

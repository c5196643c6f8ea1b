/* The one request of the test driver's own, shared with the port tests: which
 * printer and pipe a handle reaches. */
#pragma once

#define IOCTL_VPRINTER_WHICH 0x00222000 /* CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800, buffered, any) */

struct vp_which {
  long stillImage;
  long printer;
  long pipe; /* -1 for a printer-class device */
};

/* vme_slaves: opens slave windows of the kernel's VME user interface and
 * fills them with all ones, the way an empty memory board powers up.
 *
 *   vme_slaves DIR sN:SPACE:BASE:SIZE ...     SPACE is A16, A24 or A32
 *
 * Each window answers single cycles, user data access: a master cycle
 * reaches a slave only when their cycle flags are equal. */
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

struct vme_slave {
  uint32_t enable;
  uint64_t vme_addr;
  uint64_t size;
  uint32_t aspace;
  uint32_t cycle;
} __attribute__((packed));

#define VME_GET_SLAVE _IOR(0xAE, 1, struct vme_slave)
#define VME_SET_SLAVE _IOW(0xAE, 2, struct vme_slave)

enum { A16 = 0x1, A24 = 0x2, A32 = 0x4, SCT = 0x1, USER = 0x2000, DATA = 0x8000 };

static int configure(const char *dir, const char *arg) {
  char space[8];
  int index;
  unsigned long long base, size;
  if (sscanf(arg, "s%d:%3[A0-9]:%lli:%lli", &index, space, &base, &size) != 4 || index < 0 ||
      index > 3 || size == 0 || size > 0x20000) {
    fprintf(stderr, "vme_slaves: %s: not sN:SPACE:BASE:SIZE (size up to 0x20000)\n", arg);
    return 1;
  }
  struct vme_slave s = {1, base, size, 0, SCT | USER | DATA};
  s.aspace = !strcmp(space, "A16") ? A16 : !strcmp(space, "A24") ? A24 : !strcmp(space, "A32") ? A32 : 0;
  if (s.aspace == 0) {
    fprintf(stderr, "vme_slaves: %s: no address space %s\n", arg, space);
    return 1;
  }
  char dev[256];
  snprintf(dev, sizeof dev, "%s/s%d", dir, index);
  int fd = open(dev, O_RDWR);
  if (fd < 0) {
    fprintf(stderr, "vme_slaves: %s: %s\n", dev, strerror(errno));
    return 1;
  }
  struct vme_slave got;
  if (ioctl(fd, VME_SET_SLAVE, &s) != 0 || ioctl(fd, VME_GET_SLAVE, &got) != 0) {
    fprintf(stderr, "vme_slaves: %s: %s\n", dev, strerror(errno));
    close(fd);
    return 1;
  }
  if (!got.enable || got.vme_addr != s.vme_addr || got.size != s.size || got.aspace != s.aspace ||
      got.cycle != s.cycle) {
    fprintf(stderr, "vme_slaves: %s: the bridge did not take %s\n", dev, arg);
    close(fd);
    return 1;
  }
  /* The slave's buffer is not cleared by the kernel. */
  static unsigned char ones[0x20000];
  memset(ones, 0xFF, sizeof ones);
  if (pwrite(fd, ones, (size_t)size, 0) != (ssize_t)size) {
    fprintf(stderr, "vme_slaves: %s: filling %s failed\n", dev, arg);
    close(fd);
    return 1;
  }
  close(fd);
  return 0;
}

int main(int argc, char **argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: vme_slaves DIR sN:SPACE:BASE:SIZE ...\n");
    return 2;
  }
  int failed = 0;
  for (int i = 2; i < argc; ++i) failed |= configure(argv[1], argv[i]);
  return failed;
}

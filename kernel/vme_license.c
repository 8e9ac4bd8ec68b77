// The VME core is a bool in Kconfig: built as a module it needs a licence.
#include <linux/module.h>
MODULE_LICENSE("GPL");

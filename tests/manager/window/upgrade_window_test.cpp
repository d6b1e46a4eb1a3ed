#include "upgrade_window_test.h"

QTEST_MAIN(UpgradeWindowTest)

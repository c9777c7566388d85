// The log helpers under their former name, for the suites that still include
// them from here.
#pragma once

#include "tests/support/log.h"

namespace test_log = test_support;

// The sample files live with their generator in tools/.
#pragma once

#include "tools/sample_files.h"

#include "metrics/count_bar.h"

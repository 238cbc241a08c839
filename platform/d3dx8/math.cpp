#include "d3dx8.h"

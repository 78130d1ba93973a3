#include "Uccpu.h"

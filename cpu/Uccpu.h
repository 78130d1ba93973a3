#pragma once
#include "Uccpubase.h"

// The window's CPU object: the base machine, with nothing added.
class TCCPU : public TCCPUBase {};

#include "catalogue/Module.h"

HINSTANCE instanceHandle = nullptr;

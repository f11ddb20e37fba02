#include "ui/main/Page.h"

#include "areas/workspace.hpp"

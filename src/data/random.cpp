#include "data/random.hpp"

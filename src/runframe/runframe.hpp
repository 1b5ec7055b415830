#pragma once
// The console frame of a run: unit settings and message frames, prompts,
// file opening, run information, header and trailer, pictures, platform.
#include "runframe/frames.hpp"
#include "runframe/header.hpp"
#include "runframe/opef2.hpp"
#include "runframe/pictures.hpp"
#include "runframe/platform.hpp"
#include "runframe/prompts.hpp"
#include "runframe/runinfo.hpp"
#include "runframe/text_helpers.hpp"

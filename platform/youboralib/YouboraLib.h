#pragma once

// The analytics vendor's library: options, the plug-in and its generic player adapter, utilities, log.
#include "youboralib/YBLog.h"
#include "youboralib/YBOptions.h"
#include "youboralib/YBPlayerAdapter.h"
#include "youboralib/YBPlugin.h"
#include "youboralib/YBYouboraUtils.h"

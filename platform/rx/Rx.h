#pragma once

// The whole reactive library in one include.
#include "rx/Cocoa.h"
#include "rx/DelegateProxy.h"
#include "rx/Disposables.h"
#include "rx/Event.h"
#include "rx/Foundation.h"
#include "rx/Observable.h"
#include "rx/Relays.h"
#include "rx/Schedulers.h"
#include "rx/Subjects.h"

#pragma once

// Test support: whether the process's line of beacon deliveries has nothing waiting and nothing on its way
// (every completion has run and let go of its plug-in's channel). Tests wait for it before they end their
// HTTP session, so that no delivery finishes while the test tears down.
namespace youboralib::testing {

bool deliveriesIdle();

}  // namespace youboralib::testing

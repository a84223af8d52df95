// The offscreen platform warns about every window feature it lacks (raising a window, size hints);
// the tests' output keeps only what matters.
#pragma once

namespace velda::test {

// Call from initTestCase(), after QtTest has installed its own message handler.
void QuietOffscreenPlatform();

}  // namespace velda::test

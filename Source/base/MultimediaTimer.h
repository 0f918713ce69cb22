// Precise short waits for the video render threads. Begin raises the timer
// resolution for the process (2 ms where the device allows, never finer);
// Wait sleeps until an absolute monotonic deadline. Process-wide state; the
// render that begins the timer owns it and ends it when it stops.
#pragma once

namespace MultimediaTimer {

// The period rule: min(max(minimum, 2), maximum).
unsigned ChoosePeriod(unsigned minimum, unsigned maximum);

void Begin();
void End();
bool IsBegun();
unsigned Period();

// Not begun: returns 1 at once. Begun: sleeps at least |milliseconds| on the
// monotonic clock and returns 0.
unsigned Wait(unsigned milliseconds);

}  // namespace MultimediaTimer

// What the sequencer's kernel side says about a client's input pool. Apart from the rest of the
// sequencer code: the kernel's sequencer header and alsa-lib's define the same structures and
// cannot be included together.
#pragma once

#include <cstddef>

namespace velda::sim {

// The free cells in the input pool of the sequencer client nClient, asked through the sequencer
// device fd (alsa-lib asks only about its own client), and the pool's size in *pnPoolSize; -1
// when the client has no input pool (a kernel client) or cannot be asked.
int InputPoolFree(int fd, int nClient, int* pnPoolSize);

// The pool cells an event with n bytes of variable data takes in the kernel.
int CellsForEvent(std::size_t n);

}  // namespace velda::sim

#include "input_pool.h"

#include <sound/asequencer.h>
#include <sys/ioctl.h>

#include <cstring>

namespace velda::sim {

int InputPoolFree(int fd, int nClient, int* pnPoolSize) {
  snd_seq_client_pool pool;
  std::memset(&pool, 0, sizeof pool);
  pool.client = nClient;
  if (fd < 0 || ioctl(fd, SNDRV_SEQ_IOCTL_GET_CLIENT_POOL, &pool) < 0 || pool.input_pool <= 0) return -1;
  *pnPoolSize = pool.input_pool;
  return pool.input_free;
}

int CellsForEvent(std::size_t n) {
  // One cell for the event, and its variable data in further cells of an event's size.
  constexpr std::size_t kCell = sizeof(snd_seq_event);
  return 1 + static_cast<int>((n + kCell - 1) / kCell);
}

}  // namespace velda::sim

/* An LD_PRELOAD library that makes calls of malloc, through which the program (its C++ runtime
 * too) and the C library allocate, fail. KNOCKBOX_FAIL=N fails call N alone, counting from 1.
 * KNOCKBOX_RUN_OUT=N runs memory out at call N: that call and every later one fails unless memory
 * given back since can serve it. With KNOCKBOX_COUNT naming a file, the number of calls is written
 * there at exit. Glibc's own entry points allocate, so no lookup can recurse. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

void* __libc_malloc(size_t size);
void __libc_free(void* memory);
extern char** environ;

static unsigned long calls, fail_at, run_out_at;
static size_t given_back;
static int chosen;

static unsigned long Setting(const char* name) { return strtoul(getenv(name) ?: "0", NULL, 10); }

static int RunOut(void) { return run_out_at != 0 && calls >= run_out_at; }

void* malloc(size_t size) {
  /* Before the C library has its environment nothing is chosen yet. */
  if (!chosen && environ != NULL) {
    chosen = 1;
    fail_at = Setting("KNOCKBOX_FAIL");
    run_out_at = Setting("KNOCKBOX_RUN_OUT");
  }
  if (++calls != fail_at && (!RunOut() || size <= given_back)) {
    if (RunOut()) given_back -= size;
    return __libc_malloc(size);
  }
  errno = ENOMEM;
  return NULL;
}

void free(void* memory) {
  if (memory != NULL && RunOut()) given_back += malloc_usable_size(memory);
  __libc_free(memory);
}

__attribute__((destructor)) static void WriteCount(void) {
  const char* path = getenv("KNOCKBOX_COUNT");
  const int fd = path != NULL ? open(path, O_WRONLY | O_CREAT | O_TRUNC, 0600) : -1;
  if (fd >= 0) dprintf(fd, "%lu\n", calls), close(fd);
}

#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* Answers 42: a fixed value that proves the library was bound and called. */
__attribute__((visibility("default"))) int ProbeAnswer(void);

#ifdef __cplusplus
}
#endif

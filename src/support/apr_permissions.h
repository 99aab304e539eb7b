#ifndef VQ_SUPPORT_APR_PERMISSIONS_H_
#define VQ_SUPPORT_APR_PERMISSIONS_H_

// Conversion between APR permission bits and nine-character permission
// strings: owner, group, world, each read, write, execute ("rwxr-x---").
//
// Strict grammar: each position holds its letter (set) or "-" (clear),
// starting from no bits.
// Extended grammar, starting from a base value: additionally "." leaves the
// bit unchanged, "d"/"D" sets it for directories only, and "<" (group and
// world only) copies the same permission of the class before, as built so
// far.
//
// Both parsers throw std::runtime_error with these texts:
//   "permissions string '<s>' could not be parsed. String ended unexpectedly."
//   "permission string '<s>' has too many characters. Only 9 permitted."
//   "permission string '<s>' could no be parsed. Bad character at character N"
//   "permissions string '<s>' contains a < token in the owner set of
//    permissions. Not permitted."

// Strict parse. A null string is rejected as ended unexpectedly.
int apr_permstr(const char* str);

// Extended parse starting from `base`.
int apr_permstr(const char* str, int base, bool isDirectory);

// The nine-character string of `perms` (bits beyond the nine are ignored).
// The result lives in a per-thread buffer that the thread's next call
// overwrites; copy it to keep it.
const char* apr_strperm(int perms);

#endif  // VQ_SUPPORT_APR_PERMISSIONS_H_

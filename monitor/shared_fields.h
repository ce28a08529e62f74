// The one door to the monitor's shared fields: a port record's flags, handles and counters
// (written by spooler threads and read by the port's status thread, or the other way round) and
// the few module-wide values that status threads of several ports share. Every read, write and
// bit change of such a field goes through these helpers, each one atomic step in program order
// (sequentially consistent), so no thread sees a torn value or undoes another's bits.
#pragma once

#include "win32.h"

// The type of a field, as the type of a value given for it (so NULL or 0 fit any field).
template <typename T>
struct FieldValue {
  typedef T Type;
};

// Whole values (DWORD, HANDLE, pointers).
template <typename T>
inline T LoadShared(const T* field) {
  return __atomic_load_n(field, __ATOMIC_SEQ_CST);
}
template <typename T>
inline void StoreShared(T* field, typename FieldValue<T>::Type value) {
  __atomic_store_n(field, value, __ATOMIC_SEQ_CST);
}
// Stores value and returns what the field held.
template <typename T>
inline T ExchangeShared(T* field, typename FieldValue<T>::Type value) {
  return __atomic_exchange_n(field, value, __ATOMIC_SEQ_CST);
}
// Stores desired only when the field holds expected; true when it did.
template <typename T>
inline bool CompareExchangeShared(T* field, typename FieldValue<T>::Type expected,
                                  typename FieldValue<T>::Type desired) {
  return __atomic_compare_exchange_n(field, &expected, desired, false, __ATOMIC_SEQ_CST,
                                     __ATOMIC_SEQ_CST);
}
// Adds one and returns the new value.
inline DWORD IncrementShared(DWORD* field) {
  return __atomic_add_fetch(field, 1u, __ATOMIC_SEQ_CST);
}
// Takes one away and returns the new value.
inline DWORD DecrementShared(DWORD* field) {
  return __atomic_sub_fetch(field, 1u, __ATOMIC_SEQ_CST);
}

// Bit words: each change is one read-modify-write. The Test forms return the bits as they were
// before the change, so that exactly one of several threads finds a bit clear (or set).
inline DWORD TestAndSetBits(DWORD* word, DWORD bits) {
  return __atomic_fetch_or(word, bits, __ATOMIC_SEQ_CST);
}
inline DWORD TestAndClearBits(DWORD* word, DWORD bits) {
  return __atomic_fetch_and(word, ~bits, __ATOMIC_SEQ_CST);
}

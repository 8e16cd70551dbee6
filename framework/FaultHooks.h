// Fault hooks for test builds: make the N-th allocation or the K-th change
// to the system fail, so that tests can prove what a failure leaves behind.
// Compiled in only where SAVER_FAULT_HOOKS is defined (every build but the
// shipped stub and the benchmarks); elsewhere the checks are constants.
#ifndef FRAMEWORK_FAULTHOOKS_H
#define FRAMEWORK_FAULTHOOKS_H

#include "framework/WinTypes.h"

#ifdef SAVER_FAULT_HOOKS

// Allocations: after FaultFailAllocation(n), the n-th allocation from then
// on fails, and so does every later one until the hook is disarmed with
// FaultFailAllocation(0). The framework's allocations and operator new of
// the programs that opt in ask FaultAllocationFails() first.
void FaultFailAllocation(unsigned nNth);
bool FaultAllocationFails();
// Allocations counted since the hook was last armed or disarmed.
unsigned FaultAllocationCount();

// Changes to the system (every wrapper of a call that changes a file, a
// folder or the registry): after FaultFailChange(k, e), the k-th change from
// then on fails with the system error e without being made; later ones go
// through. FaultFailChange(0, 0) disarms it.
void FaultFailChange(unsigned nKth, DWORD dwError);
// True when this change is to fail; *pdwError is then the error to report.
bool FaultChangeFails(DWORD* pdwError);
// Changes counted since the hook was last armed or disarmed.
unsigned FaultChangeCount();

#else

inline bool FaultAllocationFails() { return false; }
inline bool FaultChangeFails(DWORD*) { return false; }

#endif

#endif

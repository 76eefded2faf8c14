#pragma once

#include <functional>
#include <vector>

class CVantrelDoc;
class CWaitObserver;

// The list view's start-tests and stop-tests commands, without the widgets. They change the
// chosen hosts' flags under each host's lock; the worker acts on them at its next visit.

// The hosts a command acts on, the same for every command: the ticked rows (arrMarked[i] != 0)
// in row order, or, when none is ticked, the selected row (nSelected >= 0). Empty when there
// is neither.
std::vector<int> GetChosenHosts(const std::vector<int>& arrMarked, int nSelected);

// Called for each chosen host while its lock is still held, after its flags were changed:
// the view redraws the row and clears its tick.
using HostChangedFn = std::function<void(int nIndex)>;

// Both commands first stop the worker, so that no host's lock is waited for behind a test in
// progress (that test is cut short and not counted); then they change the chosen hosts, write
// the data file and start the worker again, which begins with a cycle at once. Nothing happens
// when no host was chosen. The locks are taken with the wait of pObserver.

// Marks every chosen host as tested and unknown, and shows the connection message if there is
// no connection.
void StartTestsOnHosts(CVantrelDoc& doc, const std::vector<int>& arrChosen,
                       CWaitObserver* pObserver, const HostChangedFn& onChanged);

// Takes every chosen host out of testing and ends its run, so the time until it is started
// again is not counted as tested time.
void StopTestsOnHosts(CVantrelDoc& doc, const std::vector<int>& arrChosen, CWaitObserver* pObserver,
                      const HostChangedFn& onChanged);

// Writes the data file right after a command changed the list or a host, so that no way out
// of the program loses the change. Each host's lock is taken with the wait of pObserver, as
// the worker may hold one for a whole test. False when the file could not be written (the
// reason is in the store's m_strLastSaveError; the store reports it when it closes).
bool SaveHostsNow(CVantrelDoc& doc, CWaitObserver* pObserver);

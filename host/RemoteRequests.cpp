#include "RemoteRequests.h"

#include <cstring>
#include <exception>
#include <string>

#include "Engine.h"
#include "Host.h"
#include "OVClassesJobs.h"
#include "OVTypes.h"

namespace {

// The record comes from outside the process: every length is checked before
// anything is read, and the text must end inside the record.
bool ReadRunJob(const COPYDATASTRUCT* cds, int32_t& jobId, std::string& cause) {
  if (!cds || cds->dwData != OV_COPYDATA_RUNJOB || !cds->lpData) return false;
  if (cds->cbData < OV_RUNJOB_MIN_SIZE || cds->cbData > OV_RUNJOB_MAX_SIZE) return false;
  const char* bytes = static_cast<const char*>(cds->lpData);
  if (bytes[cds->cbData - 1] != '\0') return false;
  std::memcpy(&jobId, bytes, sizeof jobId);
  cause = bytes + sizeof jobId;
  return true;
}

LRESULT RunJobRequest(int32_t jobId, const std::string& cause) {
  if (!Jobs) return OV_RUNJOB_NOTREADY;
  if (!Jobs->FindByID(jobId)) return OV_RUNJOB_NOJOB;
  try {
    // An empty cause is a request without one: no "Cause:" line.
    HandleRunJob(jobId, cause.empty() ? nullptr : cause.c_str());
  } catch (const std::exception& e) {
    HostLog(OV_LOG_ERROR, e.what());
  }
  return OV_RUNJOB_DONE;
}

}  // namespace

LRESULT HandleCopyData(const COPYDATASTRUCT* cds) {
  try {
    int32_t jobId = 0;
    std::string cause;
    if (!ReadRunJob(cds, jobId, cause)) return OV_RUNJOB_NOJOB;
    return RunJobRequest(jobId, cause);
  } catch (...) {
    return OV_RUNJOB_NOJOB;
  }
}

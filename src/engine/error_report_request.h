#ifndef VQ_ENGINE_ERROR_REPORT_REQUEST_H_
#define VQ_ENGINE_ERROR_REPORT_REQUEST_H_

#include <apr_pools.h>

class ThreadExternalInterface;
class VqException;
class Web;

// Adds the parameters of one error report about `error` to `web`, in the
// order the servers read them: build, feedId, appId, os, platform,
// machineId, errCode, errDesc, errZone, errSeverity, userId, logFile (the
// last 20,000 bytes of "vq.log.1" + "vq.log"), feedFile (the whole of
// "vqfeed.xml"), lastUrl ("NO URL" when the error has none) and, when
// "secure.sign" is true, sign=true. The reporter then adds the nonce
// (engine/request_freshness.h) after all of them. Files are relative to the working
// directory. Exceptions of `external` pass through.
void addErrorReportParameters(Web& web, ThreadExternalInterface& external,
                              const VqException& error, apr_pool_t* pool);

#endif  // VQ_ENGINE_ERROR_REPORT_REQUEST_H_

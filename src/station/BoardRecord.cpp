#include "station/BoardRecord.h"

#include "base/Version.h"
#include "document/RunReport.h"
#include "station/FlashLog.h"

namespace brenwick::station {

FlashRecord RecordOf(const BoardEnd& end) {
    FlashRecord record;
    record.time = NowUtcIso8601();
    record.station = StationName();
    record.operatorName = OperatorName();
    record.port = end.board.port;
    record.device = end.device.targetName;
    record.serialNumber = end.device.serialNumber;
    if (end.device.productIdReported) {
        record.productId = ProductIdText(end.device.ProductIdBytes());
    }
    if (end.device.flashSize != 0) { // the revisions came with the identification
        record.bootRevision = RevisionText(end.device.bootRev);
        record.flashRevision = RevisionText(end.device.flashRev);
    }
    record.firmware = end.firmware;
    record.sha256 = end.firmwareSha256;
    record.stampedLength = end.stamp.length;
    record.stampedSum = end.stamp.sum;
    record.passed = end.board.state == BoardState::Passed;
    record.result = ResultText(end.result);
    record.reason = record.passed ? "" : end.board.outcome;
    record.bytesSent = end.bytesSent;
    record.seconds = end.seconds;
    record.version = kVersion;
    return record;
}

} // namespace brenwick::station

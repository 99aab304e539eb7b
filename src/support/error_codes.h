#ifndef VQ_SUPPORT_ERROR_CODES_H_
#define VQ_SUPPORT_ERROR_CODES_H_

#include <cstdint>

// Every error code that a VqException can carry to the update servers. The
// numbers are part of the error-report protocol: never renumber one, and keep
// a retired code here as a comment so that its number is never reused.
// Several raisers share a number where the servers treat them alike (for
// example 5 and 105).
enum VqErrorCode : std::int32_t {
  // Response processor and submitted action documents.
  kErrNotVqRoot = 5,            // root element is not "vq"
  kErrBadVersion = 10,          // missing or unusable "version"
  kErrResponseXmlParse = 105,   // action document is not XML
  kErrNoSignatureHeader = 245,  // "xxx-vq-sig" missing
  kErrSignatureMismatch = 250,  // signature does not verify

  // Freshness of signed answers.
  kErrAnswerExpired = 300,             // "expires" unreadable or passed
  kErrSecondSignatureMismatch = 305,   // "xxx-vq-sig2" does not verify
  kErrAnswerNotFresh = 310,            // required, neither sig2 nor expiry
  kErrSecondSignatureMissing = 315,    // pinned server, no "xxx-vq-sig2"

  // Raised through the one-text and URL-and-text constructors.
  kErrGeneral = 110,

  // File actions: write, web, delete, set.
  kErrWebNoUrl = 15,
  kErrWebNoFilename = 20,
  kErrWebNoMd5 = 25,
  kErrWebMd5Mismatch = 30,
  kErrWriteNoFilename = 80,
  kErrWriteOpen = 85,  // also: target directory not created
  kErrWriteFailed = 90,
  kErrDeleteNoFilename = 125,
  kErrWriteBadPerm = 160,
  kErrWebBadPerm = 165,
  kErrWebSetPermissions = 170,
  kErrDeleteOutsideDataDir = 240,
  kErrSetNoName = 255,

  // Server-chosen errors.
  kErrErrorActionDefault = 130,  // "error" action that names no code

  // XmlEdit action.
  kErrXmlEditNoFilename = 35,
  kErrXmlEditParse = 40,
  kErrXmlEditNoRpn = 45,
  kErrXmlEditClearAttributeNoName = 50,
  kErrXmlEditInsertAtNoPosition = 55,
  kErrXmlEditInsertAtNotNumeric = 60,
  kErrXmlEditSetAttributeNoName = 65,
  kErrXmlEditSetAttributeNoValue = 70,
  kErrXmlEditOpenForWrite = 95,
  kErrXmlEditWrite = 100,
  kErrXmlEditBadNodeName = 135,

  // Launch action and its if-tests.
  kErrLaunchParse = 220,
  kErrLaunchIfNoFilename = 225,
  kErrLaunchIfNoRpn = 230,
  kErrLaunchRpn = 235,

  // Downloads to temporary files.
  kErrTempFileCreate = 140,
  kErrTempFileWrite = 175,
  kErrTempFileFlush = 180,
  kErrTempFileClose = 185,

  // Web transport.
  kErrTransport = 155,
  kErrTransportTimeout = 205,
  kErrTransportBadUrl = 210,
  kErrTransportUnreachable = 215,
};

#endif  // VQ_SUPPORT_ERROR_CODES_H_

// The serial layer's exception classes and its error check. Lower levels return result codes
// (0 or a count or handle for success, negative for failure); the port component passes each
// one through RaiseOnError, which turns an error code into an exception of the class tree
// below: EAPDException -> ten group classes -> leaf classes, each leaf made from its code.
// Standard library and platform/ only.
#pragma once
#include <exception>
#include <string>

#include "platform/sysutils.h"

// Result codes the serial layer itself produces or meets (0 and the negative error codes).
enum : int {
  ecOK = 0,
  // General.
  ecBadHandle = -1001,
  ecBadArgument = -1002,
  ecGotQuitMsg = -1003,
  ecBufferTooBig = -1004,
  ecPortNotAssigned = -1005,
  ecInternal = -1006,
  ecModemNotAssigned = -1007,
  ecPhonebookNotAssigned = -1008,
  ecCannotUseWithWinSock = -1009,
  // Opening the port.
  ecBadId = -2001,
  ecBaudRate = -2002,
  ecByteSize = -2003,
  ecDefault = -2004,
  ecHardware = -2005,
  ecMemory = -2006,
  ecCommNotOpen = -2007,
  ecAlreadyOpen = -2008,
  ecNoHandles = -2009,
  ecNoTimers = -2010,
  ecNoPortSelected = -2011,
  ecNotOpenedByTapi = -2012,
  // Serial I/O.
  ecNullApi = -3001,
  ecNotSupported = -3002,
  ecRegisterHandlerFailed = -3003,
  ecPutBlockFail = -3004,
  ecGetBlockFail = -3005,
  ecOutputBufferTooSmall = -3006,
  ecBufferIsEmpty = -3007,
  ecTracingNotEnabled = -3008,
  ecLoggingNotEnabled = -3009,
  ecBaseAddressNotSet = -3010,
  // Triggers.
  ecNoMoreTriggers = -5001,
  ecTriggerTooLong = -5002,
  ecBadTriggerHandle = -5003,
};

// Root of the serial layer's exceptions. ErrorCode is the result code the exception was made
// from, or 0 for one made from a message. The second argument of each constructor is accepted
// for callers that pass one and is ignored.
class EAPDException : public platform::Exception {
public:
  // Message := the message table's text for |Code|; ErrorCode := Code.
  explicit EAPDException(int Code, int Unused = 0);
  // Message := Text; ErrorCode := 0.
  explicit EAPDException(std::string Text, int Unused = 0);

  int ErrorCode;
};

// Every class below only narrows the type: no fields, no behaviour of its own.
#define DRAVIK_APD_EXCEPTION(Name, Base) \
  class Name : public Base {             \
  public:                                \
    using Base::Base;                    \
  };

// The ten groups.
DRAVIK_APD_EXCEPTION(EGeneral, EAPDException)
DRAVIK_APD_EXCEPTION(EOpenComm, EAPDException)
DRAVIK_APD_EXCEPTION(ESerialIO, EAPDException)
DRAVIK_APD_EXCEPTION(EModem, EAPDException)
DRAVIK_APD_EXCEPTION(ETrigger, EAPDException)
DRAVIK_APD_EXCEPTION(EProtocol, EAPDException)
DRAVIK_APD_EXCEPTION(EINI, EAPDException)
DRAVIK_APD_EXCEPTION(EFax, EAPDException)
DRAVIK_APD_EXCEPTION(ETapi, EAPDException)
DRAVIK_APD_EXCEPTION(ERas, EAPDException)

// General.
DRAVIK_APD_EXCEPTION(EBadArgument, EGeneral)
DRAVIK_APD_EXCEPTION(EGotQuitMsg, EGeneral)
DRAVIK_APD_EXCEPTION(EBufferTooBig, EGeneral)
DRAVIK_APD_EXCEPTION(EPortNotAssigned, EGeneral)
DRAVIK_APD_EXCEPTION(EInternal, EGeneral)
DRAVIK_APD_EXCEPTION(EModemNotAssigned, EGeneral)
DRAVIK_APD_EXCEPTION(EPhonebookNotAssigned, EGeneral)
DRAVIK_APD_EXCEPTION(ECannotUseWithWinSock, EGeneral)

// Opening the port.
DRAVIK_APD_EXCEPTION(EBadId, EOpenComm)
DRAVIK_APD_EXCEPTION(EBaudRate, EOpenComm)
DRAVIK_APD_EXCEPTION(EByteSize, EOpenComm)
DRAVIK_APD_EXCEPTION(EDefault, EOpenComm)
DRAVIK_APD_EXCEPTION(EHardware, EOpenComm)
DRAVIK_APD_EXCEPTION(EMemory, EOpenComm)
DRAVIK_APD_EXCEPTION(ECommNotOpen, EOpenComm)
DRAVIK_APD_EXCEPTION(EAlreadyOpen, EOpenComm)
DRAVIK_APD_EXCEPTION(ENoHandles, EOpenComm)
DRAVIK_APD_EXCEPTION(ENoTimers, EOpenComm)
DRAVIK_APD_EXCEPTION(ENoPortSelected, EOpenComm)
DRAVIK_APD_EXCEPTION(ENotOpenedByTapi, EOpenComm)

// Serial I/O.
DRAVIK_APD_EXCEPTION(ENullApi, ESerialIO)
DRAVIK_APD_EXCEPTION(ERegisterHandlerFailed, ESerialIO)
DRAVIK_APD_EXCEPTION(EPutBlockFail, ESerialIO)
DRAVIK_APD_EXCEPTION(EGetBlockFail, ESerialIO)
DRAVIK_APD_EXCEPTION(EOutputBufferTooSmall, ESerialIO)
DRAVIK_APD_EXCEPTION(EBufferIsEmpty, ESerialIO)
DRAVIK_APD_EXCEPTION(ETracingNotEnabled, ESerialIO)
DRAVIK_APD_EXCEPTION(ELoggingNotEnabled, ESerialIO)
DRAVIK_APD_EXCEPTION(EBaseAddressNotSet, ESerialIO)

// Modem and dialer.
DRAVIK_APD_EXCEPTION(EModemNotStarted, EModem)
DRAVIK_APD_EXCEPTION(EModemBusy, EModem)
DRAVIK_APD_EXCEPTION(EModemNotDialing, EModem)
DRAVIK_APD_EXCEPTION(EModemNotResponding, EModem)
DRAVIK_APD_EXCEPTION(EModemRejectedCommand, EModem)
DRAVIK_APD_EXCEPTION(EModemStatusMismatch, EModem)
DRAVIK_APD_EXCEPTION(EAlreadyDialing, EModem)
DRAVIK_APD_EXCEPTION(ENotDialing, EModem)

// Triggers.
DRAVIK_APD_EXCEPTION(ENoMoreTriggers, ETrigger)
DRAVIK_APD_EXCEPTION(ETriggerTooLong, ETrigger)
DRAVIK_APD_EXCEPTION(EBadTriggerHandle, ETrigger)

// Keyed files.
DRAVIK_APD_EXCEPTION(EKeyTooLong, EINI)
DRAVIK_APD_EXCEPTION(EDataTooLarge, EINI)
DRAVIK_APD_EXCEPTION(EIniWrite, EINI)
DRAVIK_APD_EXCEPTION(EIniRead, EINI)
DRAVIK_APD_EXCEPTION(ERecordExists, EINI)
DRAVIK_APD_EXCEPTION(ERecordNotFound, EINI)
DRAVIK_APD_EXCEPTION(EDatabaseFull, EINI)
DRAVIK_APD_EXCEPTION(EDatabaseEmpty, EINI)
DRAVIK_APD_EXCEPTION(EBadFieldList, EINI)
DRAVIK_APD_EXCEPTION(EBadFieldForIndex, EINI)

// Fax.
DRAVIK_APD_EXCEPTION(EFaxBadFormat, EFax)
DRAVIK_APD_EXCEPTION(EBadGraphicsFormat, EFax)
DRAVIK_APD_EXCEPTION(EConvertAbort, EFax)
DRAVIK_APD_EXCEPTION(EUnpackAbort, EFax)
DRAVIK_APD_EXCEPTION(ECantMakeBitmap, EFax)
DRAVIK_APD_EXCEPTION(EInvalidPageNumber, EFax)
DRAVIK_APD_EXCEPTION(EFaxBadMachine, EFax)
DRAVIK_APD_EXCEPTION(EFaxBadModemResult, EFax)
DRAVIK_APD_EXCEPTION(EFaxTrainError, EFax)
DRAVIK_APD_EXCEPTION(EFaxInitError, EFax)
DRAVIK_APD_EXCEPTION(EFaxBusy, EFax)
DRAVIK_APD_EXCEPTION(EFaxVoiceCall, EFax)
DRAVIK_APD_EXCEPTION(EFaxDataCall, EFax)
DRAVIK_APD_EXCEPTION(EFaxNoDialTone, EFax)
DRAVIK_APD_EXCEPTION(EFaxNoCarrier, EFax)
DRAVIK_APD_EXCEPTION(EFaxSessionError, EFax)
DRAVIK_APD_EXCEPTION(EFaxPageError, EFax)

// Telephony.
DRAVIK_APD_EXCEPTION(ETapiAllocated, ETapi)
DRAVIK_APD_EXCEPTION(ETapiBadDeviceID, ETapi)
DRAVIK_APD_EXCEPTION(ETapiBearerModeUnavail, ETapi)
DRAVIK_APD_EXCEPTION(ETapiCallUnavail, ETapi)
DRAVIK_APD_EXCEPTION(ETapiCompletionOverrun, ETapi)
DRAVIK_APD_EXCEPTION(ETapiConferenceFull, ETapi)
DRAVIK_APD_EXCEPTION(ETapiDialBilling, ETapi)
DRAVIK_APD_EXCEPTION(ETapiDialDialtone, ETapi)
DRAVIK_APD_EXCEPTION(ETapiDialPrompt, ETapi)
DRAVIK_APD_EXCEPTION(ETapiDialQuiet, ETapi)
DRAVIK_APD_EXCEPTION(ETapiIncompatibleApiVersion, ETapi)
DRAVIK_APD_EXCEPTION(ETapiIncompatibleExtVersion, ETapi)
DRAVIK_APD_EXCEPTION(ETapiIniFileCorrupt, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInUse, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalAddress, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalAddressID, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalAddressMode, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalAddressState, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalAppHandle, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalAppName, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalBearerMode, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalCallComplMode, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalCallHandle, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalCallParams, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalCallPrivilege, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalCallSelect, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalCallState, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalCallStatelist, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalCard, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalCompletionID, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalConfCallHandle, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalConsultCallHandle, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalCountryCode, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalDeviceClass, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalDeviceHandle, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalDialParams, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalDigitList, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalDigitMode, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalDigits, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalExtVersion, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalGroupID, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalLineHandle, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalLineState, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalLocation, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalMediaList, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalMediaMode, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalMessageID, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalParam, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalParkID, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalParkMode, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalPointer, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalPrivSelect, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalRate, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalRequestMode, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalTerminalID, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalTerminalMode, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalTimeout, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalTone, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalToneList, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalToneMode, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalTransferMode, ETapi)
DRAVIK_APD_EXCEPTION(ETapiLineMapperFailed, ETapi)
DRAVIK_APD_EXCEPTION(ETapiNoConference, ETapi)
DRAVIK_APD_EXCEPTION(ETapiNoDevice, ETapi)
DRAVIK_APD_EXCEPTION(ETapiNoDriver, ETapi)
DRAVIK_APD_EXCEPTION(ETapiNoMem, ETapi)
DRAVIK_APD_EXCEPTION(ETapiNoRequest, ETapi)
DRAVIK_APD_EXCEPTION(ETapiNotOwner, ETapi)
DRAVIK_APD_EXCEPTION(ETapiNotRegistered, ETapi)
DRAVIK_APD_EXCEPTION(ETapiOperationFailed, ETapi)
DRAVIK_APD_EXCEPTION(ETapiOperationUnavail, ETapi)
DRAVIK_APD_EXCEPTION(ETapiRateUnavail, ETapi)
DRAVIK_APD_EXCEPTION(ETapiResourceUnavail, ETapi)
DRAVIK_APD_EXCEPTION(ETapiRequestOverrun, ETapi)
DRAVIK_APD_EXCEPTION(ETapiStructureTooSmall, ETapi)
DRAVIK_APD_EXCEPTION(ETapiTargetNotFound, ETapi)
DRAVIK_APD_EXCEPTION(ETapiTargetSelf, ETapi)
DRAVIK_APD_EXCEPTION(ETapiUninitialized, ETapi)
DRAVIK_APD_EXCEPTION(ETapiUserUserInfoTooBig, ETapi)
DRAVIK_APD_EXCEPTION(ETapiReinit, ETapi)
DRAVIK_APD_EXCEPTION(ETapiAddressBlocked, ETapi)
DRAVIK_APD_EXCEPTION(ETapiBillingRejected, ETapi)
DRAVIK_APD_EXCEPTION(ETapiInvalFeature, ETapi)
DRAVIK_APD_EXCEPTION(ETapiNoMultipleInstance, ETapi)
DRAVIK_APD_EXCEPTION(ETapiBusy, ETapi)
DRAVIK_APD_EXCEPTION(ETapiNotSet, ETapi)
DRAVIK_APD_EXCEPTION(ETapiNoSelect, ETapi)
DRAVIK_APD_EXCEPTION(ETapiLoadFail, ETapi)
DRAVIK_APD_EXCEPTION(ETapiGetAddrFail, ETapi)
DRAVIK_APD_EXCEPTION(ETapiVoiceNotSupported, ETapi)
DRAVIK_APD_EXCEPTION(ETapiWaveFail, ETapi)
DRAVIK_APD_EXCEPTION(ETapiTranslateFail, ETapi)

// Remote access.
DRAVIK_APD_EXCEPTION(ERasLoadFail, ERas)

#undef DRAVIK_APD_EXCEPTION

// The exception of the class that Code maps to, made from Code, or a null pointer when no
// class is mapped to Code (RaiseOnError then decides between the framework's errors and the
// generic "Talo exception").
std::exception_ptr CreateApdException(int Code);

// The serial layer's one error check. Codes >= 0 (success, a count, a handle) are returned
// unchanged, and so is every code while ComponentLoading is true: a component being restored
// from its stored layout must not fail half-built, so the caller passes its loading state.
// Otherwise:
//   - a code with a mapped class raises that class, made from the code;
//   - -162 ... -2 raise platform::EInOutError with the code's text and ErrorCode |Code|, except
//     -8, which raises platform::EOutOfMemory;
//   - -1 and every other code raise EAPDException("Talo exception"), ErrorCode 0.
int RaiseOnError(int Code, bool ComponentLoading = false);

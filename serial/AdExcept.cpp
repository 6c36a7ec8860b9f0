// The error check of the serial layer and the one table that maps a result code to its
// exception class.
#include "serial/AdExcept.h"

#include <algorithm>
#include <iterator>

#include "serial/AdStrMap.h"

EAPDException::EAPDException(int Code, int /*Unused*/)
    : platform::Exception(ErrorMessageText(Code)), ErrorCode(Code) {}

EAPDException::EAPDException(std::string Text, int /*Unused*/)
    : platform::Exception(std::move(Text)), ErrorCode(0) {}

namespace {

template <class E>
std::exception_ptr Make(int Code) {
  return std::make_exception_ptr(E(Code));
}

struct ClassRow {
  int Code;
  std::exception_ptr (*Create)(int Code);
};

// Code -> class, sorted by descending code (ascending absolute value). Several codes may share
// a class; a code absent here has no class of its own.
constexpr ClassRow kClassRows[] = {
    {-1002, &Make<EBadArgument>},
    {-1003, &Make<EGotQuitMsg>},
    {-1004, &Make<EBufferTooBig>},
    {-1005, &Make<EPortNotAssigned>},
    {-1006, &Make<EInternal>},
    {-1007, &Make<EModemNotAssigned>},
    {-1008, &Make<EPhonebookNotAssigned>},
    {-1009, &Make<ECannotUseWithWinSock>},
    {-2001, &Make<EBadId>},
    {-2002, &Make<EBaudRate>},
    {-2003, &Make<EByteSize>},
    {-2004, &Make<EDefault>},
    {-2005, &Make<EHardware>},
    {-2006, &Make<EMemory>},
    {-2007, &Make<ECommNotOpen>},
    {-2008, &Make<EAlreadyOpen>},
    {-2009, &Make<ENoHandles>},
    {-2010, &Make<ENoTimers>},
    {-2011, &Make<ENoPortSelected>},
    {-2012, &Make<ENotOpenedByTapi>},
    {-3001, &Make<ENullApi>},
    {-3003, &Make<ERegisterHandlerFailed>},
    {-3004, &Make<EPutBlockFail>},
    {-3005, &Make<EGetBlockFail>},
    {-3006, &Make<EOutputBufferTooSmall>},
    {-3007, &Make<EBufferIsEmpty>},
    {-3008, &Make<ETracingNotEnabled>},
    {-3009, &Make<ELoggingNotEnabled>},
    {-3010, &Make<EBaseAddressNotSet>},
    {-4001, &Make<EModemNotStarted>},
    {-4002, &Make<EModemBusy>},
    {-4003, &Make<EModemNotDialing>},
    {-4004, &Make<ENotDialing>},
    {-4005, &Make<EAlreadyDialing>},
    {-4006, &Make<EModemNotResponding>},
    {-4007, &Make<EModemRejectedCommand>},
    {-4008, &Make<EModemStatusMismatch>},
    {-5001, &Make<ENoMoreTriggers>},
    {-5002, &Make<ETriggerTooLong>},
    {-5003, &Make<EBadTriggerHandle>},
    {-6006, &Make<EProtocol>},
    {-6008, &Make<EProtocol>},
    {-6009, &Make<EProtocol>},
    {-7001, &Make<EKeyTooLong>},
    {-7002, &Make<EDataTooLarge>},
    {-7003, &Make<EInternal>},
    {-7004, &Make<EIniWrite>},
    {-7005, &Make<EIniRead>},
    {-7006, &Make<EInternal>},
    {-7007, &Make<ERecordExists>},
    {-7008, &Make<ERecordNotFound>},
    {-7010, &Make<EDatabaseFull>},
    {-7011, &Make<EDatabaseEmpty>},
    {-7012, &Make<EInternal>},
    {-7013, &Make<EBadFieldList>},
    {-7014, &Make<EBadFieldForIndex>},
    {-8001, &Make<EFaxBadFormat>},
    {-8002, &Make<EBadGraphicsFormat>},
    {-8003, &Make<EConvertAbort>},
    {-8004, &Make<EUnpackAbort>},
    {-8005, &Make<ECantMakeBitmap>},
    {-8053, &Make<EInvalidPageNumber>},
    {-8060, &Make<EFaxBadMachine>},
    {-8061, &Make<EFaxBadModemResult>},
    {-8062, &Make<EFaxTrainError>},
    {-8063, &Make<EFaxInitError>},
    {-8064, &Make<EFaxBusy>},
    {-8065, &Make<EFaxVoiceCall>},
    {-8066, &Make<EFaxDataCall>},
    {-8067, &Make<EFaxNoDialTone>},
    {-8068, &Make<EFaxNoCarrier>},
    {-8069, &Make<EFaxSessionError>},
    {-8070, &Make<EFaxPageError>},
    {-13801, &Make<ETapiAllocated>},
    {-13802, &Make<ETapiBadDeviceID>},
    {-13803, &Make<ETapiBearerModeUnavail>},
    {-13805, &Make<ETapiCallUnavail>},
    {-13806, &Make<ETapiCompletionOverrun>},
    {-13807, &Make<ETapiConferenceFull>},
    {-13808, &Make<ETapiDialBilling>},
    {-13809, &Make<ETapiDialDialtone>},
    {-13810, &Make<ETapiDialPrompt>},
    {-13811, &Make<ETapiDialQuiet>},
    {-13812, &Make<ETapiIncompatibleApiVersion>},
    {-13813, &Make<ETapiIncompatibleExtVersion>},
    {-13814, &Make<ETapiIniFileCorrupt>},
    {-13815, &Make<ETapiInUse>},
    {-13816, &Make<ETapiInvalAddress>},
    {-13817, &Make<ETapiInvalAddressID>},
    {-13818, &Make<ETapiInvalAddressMode>},
    {-13819, &Make<ETapiInvalAddressState>},
    {-13820, &Make<ETapiInvalAppHandle>},
    {-13821, &Make<ETapiInvalAppName>},
    {-13822, &Make<ETapiInvalBearerMode>},
    {-13823, &Make<ETapiInvalCallComplMode>},
    {-13824, &Make<ETapiInvalCallHandle>},
    {-13825, &Make<ETapiInvalCallParams>},
    {-13826, &Make<ETapiInvalCallPrivilege>},
    {-13827, &Make<ETapiInvalCallSelect>},
    {-13828, &Make<ETapiInvalCallState>},
    {-13829, &Make<ETapiInvalCallStatelist>},
    {-13830, &Make<ETapiInvalCard>},
    {-13831, &Make<ETapiInvalCompletionID>},
    {-13832, &Make<ETapiInvalConfCallHandle>},
    {-13833, &Make<ETapiInvalConsultCallHandle>},
    {-13834, &Make<ETapiInvalCountryCode>},
    {-13835, &Make<ETapiInvalDeviceClass>},
    {-13836, &Make<ETapiInvalDeviceHandle>},
    {-13837, &Make<ETapiInvalDialParams>},
    {-13838, &Make<ETapiInvalDigitList>},
    {-13839, &Make<ETapiInvalDigitMode>},
    {-13840, &Make<ETapiInvalDigits>},
    {-13841, &Make<ETapiInvalExtVersion>},
    {-13842, &Make<ETapiInvalGroupID>},
    {-13843, &Make<ETapiInvalLineHandle>},
    {-13844, &Make<ETapiInvalLineState>},
    {-13845, &Make<ETapiInvalLocation>},
    {-13846, &Make<ETapiInvalMediaList>},
    {-13847, &Make<ETapiInvalMediaMode>},
    {-13848, &Make<ETapiInvalMessageID>},
    {-13850, &Make<ETapiInvalParam>},
    {-13851, &Make<ETapiInvalParkID>},
    {-13852, &Make<ETapiInvalParkMode>},
    {-13853, &Make<ETapiInvalPointer>},
    {-13854, &Make<ETapiInvalPrivSelect>},
    {-13855, &Make<ETapiInvalRate>},
    {-13856, &Make<ETapiInvalRequestMode>},
    {-13857, &Make<ETapiInvalTerminalID>},
    {-13858, &Make<ETapiInvalTerminalMode>},
    {-13859, &Make<ETapiInvalTimeout>},
    {-13860, &Make<ETapiInvalTone>},
    {-13861, &Make<ETapiInvalToneList>},
    {-13862, &Make<ETapiInvalToneMode>},
    {-13863, &Make<ETapiInvalTransferMode>},
    {-13864, &Make<ETapiLineMapperFailed>},
    {-13865, &Make<ETapiNoConference>},
    {-13866, &Make<ETapiNoDevice>},
    {-13867, &Make<ETapiNoDriver>},
    {-13868, &Make<ETapiNoMem>},
    {-13869, &Make<ETapiNoRequest>},
    {-13870, &Make<ETapiNotOwner>},
    {-13871, &Make<ETapiNotRegistered>},
    {-13872, &Make<ETapiOperationFailed>},
    {-13873, &Make<ETapiOperationUnavail>},
    {-13874, &Make<ETapiRateUnavail>},
    {-13875, &Make<ETapiResourceUnavail>},
    {-13876, &Make<ETapiRequestOverrun>},
    {-13877, &Make<ETapiStructureTooSmall>},
    {-13878, &Make<ETapiTargetNotFound>},
    {-13879, &Make<ETapiTargetSelf>},
    {-13880, &Make<ETapiUninitialized>},
    {-13881, &Make<ETapiUserUserInfoTooBig>},
    {-13882, &Make<ETapiReinit>},
    {-13883, &Make<ETapiAddressBlocked>},
    {-13884, &Make<ETapiBillingRejected>},
    {-13885, &Make<ETapiInvalFeature>},
    {-13886, &Make<ETapiNoMultipleInstance>},
    {-13928, &Make<ETapiBusy>},
    {-13929, &Make<ETapiNotSet>},
    {-13930, &Make<ETapiNoSelect>},
    {-13931, &Make<ETapiLoadFail>},
    {-13932, &Make<ETapiGetAddrFail>},
    {-13935, &Make<ETapiVoiceNotSupported>},
    {-13936, &Make<ETapiWaveFail>},
    {-13942, &Make<ETapiTranslateFail>},
    {-13980, &Make<ERasLoadFail>},
};

}  // namespace

std::exception_ptr CreateApdException(int Code) {
  const auto row = std::lower_bound(std::begin(kClassRows), std::end(kClassRows), Code,
                                    [](const ClassRow& r, int c) { return r.Code > c; });
  if (row == std::end(kClassRows) || row->Code != Code) return nullptr;
  return row->Create(Code);
}

int RaiseOnError(int Code, bool ComponentLoading) {
  if (Code >= 0 || ComponentLoading) return Code;
  if (std::exception_ptr mapped = CreateApdException(Code)) std::rethrow_exception(mapped);
  if (Code >= -162 && Code <= -2) {
    if (Code == -8) throw platform::EOutOfMemory();
    throw platform::EInOutError(ErrorMessageText(-Code), -Code);
  }
  throw EAPDException(std::string("Talo exception"));
}

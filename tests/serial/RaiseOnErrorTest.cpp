// The error check: which exception each result code raises, with which message and ErrorCode,
// and which codes pass through untouched.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <typeinfo>

#include "platform/sysutils.h"
#include "serial/AdExcept.h"
#include "serial/AdStrMap.h"

namespace {

struct ClassCase {
  int code;
  const char* leafName;
  bool (*isLeaf)(const EAPDException&);
  bool (*isGroup)(const EAPDException&);
  const char* message;  // nullptr: the message table's text for the code
};

template <class T>
bool IsExactly(const EAPDException& e) {
  return dynamic_cast<const T*>(&e) != nullptr && typeid(e) == typeid(T);
}

template <class T>
bool IsA(const EAPDException& e) {
  return dynamic_cast<const T*>(&e) != nullptr;
}

#define ROW(code, Leaf, Group, message) ClassCase{code, #Leaf, &IsExactly<Leaf>, &IsA<Group>, message}

// Every code that has a class of its own; a group in the class column means the group is
// raised itself.
const ClassCase kClassCases[] = {
    ROW(-1002, EBadArgument, EGeneral, "Bad argument passed to function"),
    ROW(-1003, EGotQuitMsg, EGeneral, "Got quit message"),
    ROW(-1004, EBufferTooBig, EGeneral, "Terminal buffer greater than 65521"),
    ROW(-1005, EPortNotAssigned, EGeneral, "ComPort component not assigned"),
    ROW(-1006, EInternal, EGeneral, "Internal error creating window class"),
    ROW(-1007, EModemNotAssigned, EGeneral, "Modem component not assigned"),
    ROW(-1008, EPhonebookNotAssigned, EGeneral, "Phonebook component not assigned"),
    ROW(-1009, ECannotUseWithWinSock, EGeneral, "Component not compatible with WinSock"),
    ROW(-2001, EBadId, EOpenComm, "ie_BadId - Specified comport doesn't exist"),
    ROW(-2002, EBaudRate, EOpenComm, "ie_Baudrate - unsupported baud rate"),
    ROW(-2003, EByteSize, EOpenComm, "ie_Bytesize - invalid byte size"),
    ROW(-2004, EDefault, EOpenComm, "ie_Default - error in default parameters"),
    ROW(-2005, EHardware, EOpenComm, "ie_Hardware - Specified comport in use"),
    ROW(-2006, EMemory, EOpenComm, "ie_Memory - unable to allocate queues"),
    ROW(-2007, ECommNotOpen, EOpenComm, "ie_NOpen - device not open"),
    ROW(-2008, EAlreadyOpen, EOpenComm, "ie_Open - device already open"),
    ROW(-2009, ENoHandles, EOpenComm, "No more handles, can't open port"),
    ROW(-2010, ENoTimers, EOpenComm, "No timers available"),
    ROW(-2011, ENoPortSelected, EOpenComm, "The ComNumber property of the TApdComPort has not been set"),
    ROW(-2012, ENotOpenedByTapi, EOpenComm, "Comport was not opened by Tapi"),
    ROW(-3001, ENullApi, ESerialIO, "No device layer specified"),
    ROW(-3003, ERegisterHandlerFailed, ESerialIO, "EnableCommNotification failed"),
    ROW(-3004, EPutBlockFail, ESerialIO, "Failed to put entire block"),
    ROW(-3005, EGetBlockFail, ESerialIO, "Failed to get entire block"),
    ROW(-3006, EOutputBufferTooSmall, ESerialIO, "Output buffer too small for block"),
    ROW(-3007, EBufferIsEmpty, ESerialIO, "Buffer is empty"),
    ROW(-3008, ETracingNotEnabled, ESerialIO, "Tracing not enabled"),
    ROW(-3009, ELoggingNotEnabled, ESerialIO, "Logging not enabled"),
    ROW(-3010, EBaseAddressNotSet, ESerialIO, "Base address not set"),
    ROW(-4001, EModemNotStarted, EModem, nullptr),
    ROW(-4002, EModemBusy, EModem, nullptr),
    ROW(-4003, EModemNotDialing, EModem, nullptr),
    ROW(-4004, ENotDialing, EModem, nullptr),
    ROW(-4005, EAlreadyDialing, EModem, nullptr),
    ROW(-4006, EModemNotResponding, EModem, nullptr),
    ROW(-4007, EModemRejectedCommand, EModem, nullptr),
    ROW(-4008, EModemStatusMismatch, EModem, nullptr),
    ROW(-5001, ENoMoreTriggers, ETrigger, "No more trigger slots"),
    ROW(-5002, ETriggerTooLong, ETrigger, "Data trigger too long"),
    ROW(-5003, EBadTriggerHandle, ETrigger, "Bad trigger handle"),
    ROW(-6006, EProtocol, EProtocol, nullptr),
    ROW(-6008, EProtocol, EProtocol, nullptr),
    ROW(-6009, EProtocol, EProtocol, nullptr),
    ROW(-7001, EKeyTooLong, EINI, nullptr),
    ROW(-7002, EDataTooLarge, EINI, nullptr),
    ROW(-7003, EInternal, EGeneral, nullptr),
    ROW(-7004, EIniWrite, EINI, nullptr),
    ROW(-7005, EIniRead, EINI, nullptr),
    ROW(-7006, EInternal, EGeneral, nullptr),
    ROW(-7007, ERecordExists, EINI, nullptr),
    ROW(-7008, ERecordNotFound, EINI, nullptr),
    ROW(-7010, EDatabaseFull, EINI, nullptr),
    ROW(-7011, EDatabaseEmpty, EINI, nullptr),
    ROW(-7012, EInternal, EGeneral, nullptr),
    ROW(-7013, EBadFieldList, EINI, nullptr),
    ROW(-7014, EBadFieldForIndex, EINI, nullptr),
    ROW(-8001, EFaxBadFormat, EFax, nullptr),
    ROW(-8002, EBadGraphicsFormat, EFax, nullptr),
    ROW(-8003, EConvertAbort, EFax, nullptr),
    ROW(-8004, EUnpackAbort, EFax, nullptr),
    ROW(-8005, ECantMakeBitmap, EFax, nullptr),
    ROW(-8053, EInvalidPageNumber, EFax, nullptr),
    ROW(-8060, EFaxBadMachine, EFax, nullptr),
    ROW(-8061, EFaxBadModemResult, EFax, nullptr),
    ROW(-8062, EFaxTrainError, EFax, nullptr),
    ROW(-8063, EFaxInitError, EFax, nullptr),
    ROW(-8064, EFaxBusy, EFax, nullptr),
    ROW(-8065, EFaxVoiceCall, EFax, nullptr),
    ROW(-8066, EFaxDataCall, EFax, nullptr),
    ROW(-8067, EFaxNoDialTone, EFax, nullptr),
    ROW(-8068, EFaxNoCarrier, EFax, nullptr),
    ROW(-8069, EFaxSessionError, EFax, nullptr),
    ROW(-8070, EFaxPageError, EFax, nullptr),
    ROW(-13801, ETapiAllocated, ETapi, nullptr),
    ROW(-13802, ETapiBadDeviceID, ETapi, nullptr),
    ROW(-13803, ETapiBearerModeUnavail, ETapi, nullptr),
    ROW(-13805, ETapiCallUnavail, ETapi, nullptr),
    ROW(-13806, ETapiCompletionOverrun, ETapi, nullptr),
    ROW(-13807, ETapiConferenceFull, ETapi, nullptr),
    ROW(-13808, ETapiDialBilling, ETapi, nullptr),
    ROW(-13809, ETapiDialDialtone, ETapi, nullptr),
    ROW(-13810, ETapiDialPrompt, ETapi, nullptr),
    ROW(-13811, ETapiDialQuiet, ETapi, nullptr),
    ROW(-13812, ETapiIncompatibleApiVersion, ETapi, nullptr),
    ROW(-13813, ETapiIncompatibleExtVersion, ETapi, nullptr),
    ROW(-13814, ETapiIniFileCorrupt, ETapi, nullptr),
    ROW(-13815, ETapiInUse, ETapi, nullptr),
    ROW(-13816, ETapiInvalAddress, ETapi, nullptr),
    ROW(-13817, ETapiInvalAddressID, ETapi, nullptr),
    ROW(-13818, ETapiInvalAddressMode, ETapi, nullptr),
    ROW(-13819, ETapiInvalAddressState, ETapi, nullptr),
    ROW(-13820, ETapiInvalAppHandle, ETapi, nullptr),
    ROW(-13821, ETapiInvalAppName, ETapi, nullptr),
    ROW(-13822, ETapiInvalBearerMode, ETapi, nullptr),
    ROW(-13823, ETapiInvalCallComplMode, ETapi, nullptr),
    ROW(-13824, ETapiInvalCallHandle, ETapi, nullptr),
    ROW(-13825, ETapiInvalCallParams, ETapi, nullptr),
    ROW(-13826, ETapiInvalCallPrivilege, ETapi, nullptr),
    ROW(-13827, ETapiInvalCallSelect, ETapi, nullptr),
    ROW(-13828, ETapiInvalCallState, ETapi, nullptr),
    ROW(-13829, ETapiInvalCallStatelist, ETapi, nullptr),
    ROW(-13830, ETapiInvalCard, ETapi, nullptr),
    ROW(-13831, ETapiInvalCompletionID, ETapi, nullptr),
    ROW(-13832, ETapiInvalConfCallHandle, ETapi, nullptr),
    ROW(-13833, ETapiInvalConsultCallHandle, ETapi, nullptr),
    ROW(-13834, ETapiInvalCountryCode, ETapi, nullptr),
    ROW(-13835, ETapiInvalDeviceClass, ETapi, nullptr),
    ROW(-13836, ETapiInvalDeviceHandle, ETapi, nullptr),
    ROW(-13837, ETapiInvalDialParams, ETapi, nullptr),
    ROW(-13838, ETapiInvalDigitList, ETapi, nullptr),
    ROW(-13839, ETapiInvalDigitMode, ETapi, nullptr),
    ROW(-13840, ETapiInvalDigits, ETapi, nullptr),
    ROW(-13841, ETapiInvalExtVersion, ETapi, nullptr),
    ROW(-13842, ETapiInvalGroupID, ETapi, nullptr),
    ROW(-13843, ETapiInvalLineHandle, ETapi, nullptr),
    ROW(-13844, ETapiInvalLineState, ETapi, nullptr),
    ROW(-13845, ETapiInvalLocation, ETapi, nullptr),
    ROW(-13846, ETapiInvalMediaList, ETapi, nullptr),
    ROW(-13847, ETapiInvalMediaMode, ETapi, nullptr),
    ROW(-13848, ETapiInvalMessageID, ETapi, nullptr),
    ROW(-13850, ETapiInvalParam, ETapi, nullptr),
    ROW(-13851, ETapiInvalParkID, ETapi, nullptr),
    ROW(-13852, ETapiInvalParkMode, ETapi, nullptr),
    ROW(-13853, ETapiInvalPointer, ETapi, nullptr),
    ROW(-13854, ETapiInvalPrivSelect, ETapi, nullptr),
    ROW(-13855, ETapiInvalRate, ETapi, nullptr),
    ROW(-13856, ETapiInvalRequestMode, ETapi, nullptr),
    ROW(-13857, ETapiInvalTerminalID, ETapi, nullptr),
    ROW(-13858, ETapiInvalTerminalMode, ETapi, nullptr),
    ROW(-13859, ETapiInvalTimeout, ETapi, nullptr),
    ROW(-13860, ETapiInvalTone, ETapi, nullptr),
    ROW(-13861, ETapiInvalToneList, ETapi, nullptr),
    ROW(-13862, ETapiInvalToneMode, ETapi, nullptr),
    ROW(-13863, ETapiInvalTransferMode, ETapi, nullptr),
    ROW(-13864, ETapiLineMapperFailed, ETapi, nullptr),
    ROW(-13865, ETapiNoConference, ETapi, nullptr),
    ROW(-13866, ETapiNoDevice, ETapi, nullptr),
    ROW(-13867, ETapiNoDriver, ETapi, nullptr),
    ROW(-13868, ETapiNoMem, ETapi, nullptr),
    ROW(-13869, ETapiNoRequest, ETapi, nullptr),
    ROW(-13870, ETapiNotOwner, ETapi, nullptr),
    ROW(-13871, ETapiNotRegistered, ETapi, nullptr),
    ROW(-13872, ETapiOperationFailed, ETapi, nullptr),
    ROW(-13873, ETapiOperationUnavail, ETapi, nullptr),
    ROW(-13874, ETapiRateUnavail, ETapi, nullptr),
    ROW(-13875, ETapiResourceUnavail, ETapi, nullptr),
    ROW(-13876, ETapiRequestOverrun, ETapi, nullptr),
    ROW(-13877, ETapiStructureTooSmall, ETapi, nullptr),
    ROW(-13878, ETapiTargetNotFound, ETapi, nullptr),
    ROW(-13879, ETapiTargetSelf, ETapi, nullptr),
    ROW(-13880, ETapiUninitialized, ETapi, nullptr),
    ROW(-13881, ETapiUserUserInfoTooBig, ETapi, nullptr),
    ROW(-13882, ETapiReinit, ETapi, nullptr),
    ROW(-13883, ETapiAddressBlocked, ETapi, nullptr),
    ROW(-13884, ETapiBillingRejected, ETapi, nullptr),
    ROW(-13885, ETapiInvalFeature, ETapi, nullptr),
    ROW(-13886, ETapiNoMultipleInstance, ETapi, nullptr),
    ROW(-13928, ETapiBusy, ETapi, nullptr),
    ROW(-13929, ETapiNotSet, ETapi, nullptr),
    ROW(-13930, ETapiNoSelect, ETapi, nullptr),
    ROW(-13931, ETapiLoadFail, ETapi, nullptr),
    ROW(-13932, ETapiGetAddrFail, ETapi, nullptr),
    ROW(-13935, ETapiVoiceNotSupported, ETapi, nullptr),
    ROW(-13936, ETapiWaveFail, ETapi, nullptr),
    ROW(-13942, ETapiTranslateFail, ETapi, nullptr),
    ROW(-13980, ERasLoadFail, ERas, nullptr),
};

#undef ROW

// Runs RaiseOnError(code) and hands the exception it raised to check; fails if nothing is raised.
template <class E>
void ExpectRaises(int code, const std::function<void(const E&)>& check) {
  try {
    RaiseOnError(code);
    ADD_FAILURE() << code << " raised nothing";
  } catch (const E& e) {
    check(e);
  } catch (const std::exception& e) {
    ADD_FAILURE() << code << " raised " << typeid(e).name() << ": " << e.what();
  }
}

}  // namespace

TEST(RaiseOnError, EveryMappedCodeRaisesItsClassWithItsMessage) {
  for (const ClassCase& c : kClassCases) {
    SCOPED_TRACE(testing::Message() << c.code << " " << c.leafName);
    ExpectRaises<EAPDException>(c.code, [&](const EAPDException& e) {
      EXPECT_TRUE(c.isLeaf(e));
      EXPECT_TRUE(c.isGroup(e));
      EXPECT_EQ(e.ErrorCode, c.code);
      const std::string expected = c.message ? c.message : ErrorMessageText(c.code);
      EXPECT_FALSE(expected.empty());
      EXPECT_EQ(e.Message(), expected);
      EXPECT_STREQ(e.what(), expected.c_str());
    });
  }
}

TEST(RaiseOnError, ClassesCanBeMadeDirectlyFromTheirCode) {
  const ENoPortSelected fromCode(ecNoPortSelected);
  EXPECT_EQ(fromCode.ErrorCode, -2011);
  EXPECT_EQ(fromCode.Message(), "The ComNumber property of the TApdComPort has not been set");
  const EPortNotAssigned withIgnoredArgument(ecPortNotAssigned, 0);
  EXPECT_EQ(withIgnoredArgument.Message(), "ComPort component not assigned");
  const EAPDException fromText(std::string("Custom failure"));
  EXPECT_EQ(fromText.ErrorCode, 0);
  EXPECT_EQ(fromText.Message(), "Custom failure");
  // The positive code gives the same text as its negation.
  EXPECT_EQ(EAPDException(2007).Message(), "ie_NOpen - device not open");
  // The extreme code must not overflow while taking the absolute value.
  EXPECT_EQ(EAPDException(INT_MIN).ErrorCode, INT_MIN);
}

TEST(RaiseOnError, OperatingSystemCodesRaiseTheFrameworkErrors) {
  // Every table row of the system range, -8 aside, becomes an I/O error with the row's text.
  for (const auto& entry : ErrorMessageTable) {
    if (entry.Code > -2 || entry.Code < -162 || entry.Code == -8) continue;
    ExpectRaises<platform::EInOutError>(entry.Code, [&](const platform::EInOutError& e) {
      EXPECT_EQ(e.ErrorCode, -entry.Code);
      EXPECT_EQ(e.Message(), entry.Text);
    });
  }
  ExpectRaises<platform::EInOutError>(-5, [](const platform::EInOutError& e) {
    EXPECT_EQ(e.ErrorCode, 5);
    EXPECT_EQ(e.Message(), "File access denied");
  });
  // No table row: the system's own text, its closing line break tidied to one space.
  ExpectRaises<platform::EInOutError>(-31, [](const platform::EInOutError& e) {
    EXPECT_EQ(e.ErrorCode, 31);
    EXPECT_EQ(e.Message(), "A device attached to the system is not functioning. ");
  });
  ExpectRaises<platform::EOutOfMemory>(-8, [](const platform::EOutOfMemory& e) {
    EXPECT_EQ(e.Message(), platform::EOutOfMemory().Message());
  });
}

TEST(RaiseOnError, UnmappedCodesRaiseTheGenericError) {
  // -1001 and -3002 have texts of their own, which the generic error does not use.
  for (int code : {-1, -1001, -3002, -4009, -4021, -5501, -6001, -6016, -7500, -8050, -13933, -13980 - 1, -163,
                   -1000000, INT_MIN}) {
    EXPECT_EQ(CreateApdException(code), nullptr) << code;
    ExpectRaises<EAPDException>(code, [&](const EAPDException& e) {
      EXPECT_TRUE(typeid(e) == typeid(EAPDException)) << code << " raised " << typeid(e).name();
      EXPECT_EQ(e.ErrorCode, 0) << code;
      EXPECT_EQ(e.Message(), "Talo exception") << code;
    });
  }
}

TEST(RaiseOnError, ReturnsSuccessCountsAndHandlesAndEverythingWhileLoading) {
  for (int code : {0, 1, 8192, 0x12345678, INT_MAX}) EXPECT_EQ(RaiseOnError(code), code);
  for (int code : {-2011, -5, -8, -31, -1, -1001, INT_MIN, 0, 42}) EXPECT_EQ(RaiseOnError(code, true), code);
}

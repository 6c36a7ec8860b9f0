// Line settings: the DCB over termios (always raw), time-outs, the event mask and SetupComm.
//
// termios holds the byte size, parity, stop bits, XON/XOFF and their characters, hardware flow
// and parity checking; everything else of the DCB (limits, DSR handling, the error and event
// characters, null stripping) lives in the device's shadow DCB and reads back from there. A pty
// has no line: it keeps no baud rate and forces 8 bits without parity, so for a pty those come
// from the shadow as well.
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>

#include "platform/linux/baud.h"
#include "platform/linux/comm_device.h"
#include "platform/linux/errno_map.h"

namespace platform::detail {

// Raw mode: no echo, no signals, no translation, reads byte by byte; CLOCAL so a missing carrier
// never blocks the port and a hang-up never signals the program.
void MakeRawTermios(termios& tio) {
  tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXANY | IUCLC |
                                       IMAXBEL);
  tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
}

namespace {

void SizeAndParityFromTermios(const termios& tio, DCB& dcb) {
  switch (tio.c_cflag & CSIZE) {
    case CS5: dcb.ByteSize = 5; break;
    case CS6: dcb.ByteSize = 6; break;
    case CS7: dcb.ByteSize = 7; break;
    default: dcb.ByteSize = 8; break;
  }
  if (!(tio.c_cflag & PARENB)) dcb.Parity = NOPARITY;
  else if (tio.c_cflag & CMSPAR) dcb.Parity = (tio.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
  else dcb.Parity = (tio.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
}

// 1.5 stop bits exist only with 5-bit bytes; termios says "more than one" for both.
void StopBitsFromTermios(const termios& tio, DCB& dcb) {
  if (!(tio.c_cflag & CSTOPB)) dcb.StopBits = ONESTOPBIT;
  else dcb.StopBits = dcb.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
}

}  // namespace

// The DCB a freshly opened port reports: termios as found, DTR and RTS on (the open raised them).
void InitialiseShadowDcb(Device& device, const termios& tio) {
  DCB& dcb = device.dcb;
  dcb = DCB{};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = CBR_9600;
  DWORD baud = 0;
  if (GetLineSpeed(device.fd, baud) == 0 && baud != 0) dcb.BaudRate = baud;
  SizeAndParityFromTermios(tio, dcb);
  StopBitsFromTermios(tio, dcb);
  dcb.fBinary = 1;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fTXContinueOnXoff = 1;
  dcb.XonLim = 2048;
  dcb.XoffLim = 512;
  dcb.XonChar = static_cast<char>(tio.c_cc[VSTART]);
  dcb.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
  const bool flow = (tio.c_cflag & CRTSCTS) != 0;
  dcb.fOutxCtsFlow = flow;
  if (flow) dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
}

}  // namespace platform::detail

using namespace platform::detail;

namespace {

BOOL Fail(DWORD error) {
  SetLastErrorValue(error);
  return FALSE;
}

bool ValidDcb(const DCB& dcb) {
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
      dcb.StopBits > TWOSTOPBITS)
    return false;
  // The combinations Windows refuses as well.
  if (dcb.StopBits == ONE5STOPBITS && dcb.ByteSize != 5) return false;
  if (dcb.StopBits == TWOSTOPBITS && dcb.ByteSize == 5) return false;
  if ((dcb.fOutX || dcb.fInX) && dcb.XonChar == dcb.XoffChar) return false;
  return true;
}

void TermiosFromDcb(const DCB& dcb, termios& tio) {
  MakeRawTermios(tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  tio.c_cflag |= kSizes[dcb.ByteSize - 5];
  switch (dcb.Parity) {
    case ODDPARITY: tio.c_cflag |= PARENB | PARODD; break;
    case EVENPARITY: tio.c_cflag |= PARENB; break;
    case MARKPARITY: tio.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case SPACEPARITY: tio.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  if (dcb.StopBits != ONESTOPBIT) tio.c_cflag |= CSTOPB;  // 1.5 stop bits (5-bit bytes) is CSTOPB too
  // Linux has one flag for both directions of RTS/CTS flow control.
  if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) tio.c_cflag |= CRTSCTS;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | INPCK | IGNPAR);
  if (dcb.fOutX) tio.c_iflag |= IXON;
  if (dcb.fInX) tio.c_iflag |= IXOFF;
  if (dcb.fParity) tio.c_iflag |= INPCK;
  tio.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
  tio.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
}

// DTR and RTS as the DCB's control modes ask. Handshake DTR has no Linux counterpart: DTR stays
// on. RTS toggle uses the driver's RS-485 mode where the driver has one.
void ApplyLineControl(Device& device, const DCB& dcb) {
  if (!device.hasModemLines) return;
  int dtr = TIOCM_DTR, rts = TIOCM_RTS;
  // -1 + errno on failure: a driver without the line simply keeps its state.
  ::ioctl(device.fd, dcb.fDtrControl == DTR_CONTROL_DISABLE ? TIOCMBIC : TIOCMBIS, &dtr);
  if (dcb.fRtsControl == RTS_CONTROL_ENABLE) ::ioctl(device.fd, TIOCMBIS, &rts);
  if (dcb.fRtsControl == RTS_CONTROL_DISABLE) ::ioctl(device.fd, TIOCMBIC, &rts);
  const bool toggle = dcb.fRtsControl == RTS_CONTROL_TOGGLE;
  if (toggle != device.rs485Enabled) {
    serial_rs485 rs485{};
    if (toggle) rs485.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    // -1 + errno when the driver has no RS-485 mode: the setting stays in the shadow DCB only.
    if (::ioctl(device.fd, TIOCSRS485, &rs485) == 0) device.rs485Enabled = toggle;
  }
}

}  // namespace

BOOL SetupComm(HANDLE handle, DWORD inQueue, DWORD outQueue) {
  auto device = FindDevice(handle);
  if (!device) return FALSE;
  std::lock_guard lock(device->mutex);
  if (device->closed) return Fail(ERROR_INVALID_HANDLE);
  // The kernel's tty buffers have a fixed size; the sizes are kept for what they are worth.
  device->inQueueSize = inQueue;
  device->outQueueSize = outQueue;
  return TRUE;
}

BOOL SetCommState(HANDLE handle, LPDCB dcb) {
  auto device = FindDevice(handle);
  if (!device) return FALSE;
  if (!dcb || !ValidDcb(*dcb)) return Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(device->mutex);
  if (device->closed) return Fail(ERROR_INVALID_HANDLE);
  if (device->hungUp) return Fail(kHangUpError);
  termios tio{};
  if (::tcgetattr(device->fd, &tio) != 0) return Fail(Win32ErrorFromErrno(errno));  // -1 + errno
  TermiosFromDcb(*dcb, tio);
  if (device->isPty) {  // a pty forces 8 bits without parity (and the C library checks that it took)
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
    tio.c_cflag |= CS8;
  }
  if (::tcsetattr(device->fd, TCSANOW, &tio) != 0) return Fail(Win32ErrorFromErrno(errno));  // -1 + errno
  // A pty takes any speed and ignores it; a real port refusing the rate is an error.
  if (SetLineSpeed(device->fd, dcb->BaudRate) != 0 && !device->isPty) return Fail(Win32ErrorFromErrno(errno));
  ApplyLineControl(*device, *dcb);
  device->dcb = *dcb;
  device->dcb.DCBlength = sizeof(DCB);
  return TRUE;
}

BOOL GetCommState(HANDLE handle, LPDCB dcb) {
  auto device = FindDevice(handle);
  if (!device) return FALSE;
  if (!dcb) return Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(device->mutex);
  if (device->closed) return Fail(ERROR_INVALID_HANDLE);
  if (device->hungUp) return Fail(kHangUpError);
  termios tio{};
  if (::tcgetattr(device->fd, &tio) != 0) return Fail(Win32ErrorFromErrno(errno));  // -1 + errno
  DCB out = device->dcb;
  out.fBinary = 1;
  if (!device->isPty) SizeAndParityFromTermios(tio, out);  // a pty keeps neither: the shadow answers
  StopBitsFromTermios(tio, out);
  out.fOutX = (tio.c_iflag & IXON) != 0;
  out.fInX = (tio.c_iflag & IXOFF) != 0;
  out.fParity = (tio.c_iflag & INPCK) != 0;
  out.XonChar = static_cast<char>(tio.c_cc[VSTART]);
  out.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
  // CRTSCTS covers both directions: keep the caller's split while termios still agrees with it.
  const bool flow = (tio.c_cflag & CRTSCTS) != 0;
  const bool shadowFlow = out.fOutxCtsFlow || out.fRtsControl == RTS_CONTROL_HANDSHAKE;
  if (flow != shadowFlow) {
    out.fOutxCtsFlow = flow;
    out.fRtsControl = flow ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
  }
  DWORD baud = 0;
  if (!device->isPty && GetLineSpeed(device->fd, baud) == 0 && baud != 0) out.BaudRate = baud;
  *dcb = out;
  return TRUE;
}

BOOL GetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts) {
  auto device = FindDevice(handle);
  if (!device) return FALSE;
  if (!timeouts) return Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(device->mutex);
  *timeouts = device->timeouts;
  return TRUE;
}

BOOL SetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts) {
  auto device = FindDevice(handle);
  if (!device) return FALSE;
  if (!timeouts) return Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(device->mutex);
  if (device->closed) return Fail(ERROR_INVALID_HANDLE);
  device->timeouts = *timeouts;
  return TRUE;
}

BOOL GetCommMask(HANDLE handle, LPDWORD mask) {
  auto device = FindDevice(handle);
  if (!device) return FALSE;
  if (!mask) return Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(device->mutex);
  *mask = device->eventMask;
  return TRUE;
}

// A new mask ends a pending wait: with ERROR_OPERATION_ABORTED when the mask is 0 (the way a
// waiting thread is told to stop), otherwise successfully with no events, as on Windows.
BOOL SetCommMask(HANDLE handle, DWORD mask) {
  auto device = FindDevice(handle);
  if (!device) return FALSE;
  std::lock_guard lock(device->mutex);
  if (device->closed) return Fail(ERROR_INVALID_HANDLE);
  device->eventMask = mask;
  device->eventSample = SampleLines(*device);
  if (device->wait) {
    auto op = std::move(device->wait);
    device->CompleteLocked(*op, mask == 0 ? ERROR_OPERATION_ABORTED : ERROR_SUCCESS, 0);
  }
  return TRUE;
}

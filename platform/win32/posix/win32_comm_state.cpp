#include "platform/win32/posix/win32_comm_state.h"

#include <array>
#include <utility>

namespace voren::win32 {
namespace {

constexpr std::array<std::pair<DWORD, speed_t>, 18> speeds{{
    {50, B50},
    {75, B75},
    {110, B110},
    {150, B150},
    {300, B300},
    {600, B600},
    {1200, B1200},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
    {460800, B460800},
    {921600, B921600},
    {1000000, B1000000},
}};

}  // namespace

void makeRaw(termios& settings) {
  settings.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                             ICRNL | IXON | IXOFF | IXANY | IMAXBEL | IUCLC);
  settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  settings.c_lflag &=
      ~static_cast<tcflag_t>(ECHO | ECHONL | ECHOE | ECHOK | ICANON | ISIG | IEXTEN | NOFLSH);
  settings.c_cflag |= CREAD | CLOCAL;
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
}

DCB defaultDcb() {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = CBR_9600;
  dcb.fBinary = TRUE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.XonLim = 2048;
  dcb.XoffLim = 512;
  dcb.ByteSize = 8;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  return dcb;
}

void readTermios(const termios& settings, DCB& dcb) {
  const speed_t speed = cfgetospeed(&settings);
  for (const auto& [rate, code] : speeds) {
    if (code == speed) dcb.BaudRate = rate;
  }
  switch (settings.c_cflag & CSIZE) {
    case CS5:
      dcb.ByteSize = 5;
      break;
    case CS6:
      dcb.ByteSize = 6;
      break;
    case CS7:
      dcb.ByteSize = 7;
      break;
    default:
      dcb.ByteSize = 8;
      break;
  }
  if ((settings.c_cflag & PARENB) == 0) {
    dcb.Parity = NOPARITY;
  } else if ((settings.c_cflag & CMSPAR) != 0) {
    dcb.Parity = (settings.c_cflag & PARODD) != 0 ? MARKPARITY : SPACEPARITY;
  } else {
    dcb.Parity = (settings.c_cflag & PARODD) != 0 ? ODDPARITY : EVENPARITY;
  }
  if ((settings.c_cflag & CSTOPB) == 0) {
    dcb.StopBits = ONESTOPBIT;
  } else if (dcb.StopBits == ONESTOPBIT) {
    dcb.StopBits = TWOSTOPBITS;
  }
  dcb.fParity = (settings.c_iflag & INPCK) != 0;
  dcb.fOutxCtsFlow = (settings.c_cflag & CRTSCTS) != 0;
  dcb.fOutX = (settings.c_iflag & IXON) != 0;
  dcb.fInX = (settings.c_iflag & IXOFF) != 0;
  dcb.XonChar = static_cast<char>(settings.c_cc[VSTART]);
  dcb.XoffChar = static_cast<char>(settings.c_cc[VSTOP]);
}

DWORD writeTermios(const DCB& dcb, termios& settings) {
  const speed_t* code = nullptr;
  for (const auto& [rate, c] : speeds) {
    if (rate == dcb.BaudRate) code = &c;
  }
  if (code == nullptr) return ERROR_INVALID_PARAMETER;
  tcflag_t size = 0;
  switch (dcb.ByteSize) {
    case 5:
      size = CS5;
      break;
    case 6:
      size = CS6;
      break;
    case 7:
      size = CS7;
      break;
    case 8:
      size = CS8;
      break;
    default:
      return ERROR_INVALID_PARAMETER;
  }
  tcflag_t parity = 0;
  switch (dcb.Parity) {
    case NOPARITY:
      break;
    case ODDPARITY:
      parity = PARENB | PARODD;
      break;
    case EVENPARITY:
      parity = PARENB;
      break;
    case MARKPARITY:
      parity = PARENB | CMSPAR | PARODD;
      break;
    case SPACEPARITY:
      parity = PARENB | CMSPAR;
      break;
    default:
      return ERROR_INVALID_PARAMETER;
  }
  if (dcb.StopBits > TWOSTOPBITS) return ERROR_INVALID_PARAMETER;
  // DTR and RTS are only raised or lowered here: a mode that hands the line
  // to the driver would be read back as applied while nothing drove it.
  if (dcb.fDtrControl > DTR_CONTROL_ENABLE || dcb.fRtsControl > RTS_CONTROL_ENABLE) {
    return ERROR_INVALID_PARAMETER;
  }

  cfsetispeed(&settings, *code);
  cfsetospeed(&settings, *code);
  settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  settings.c_cflag |= size | parity;
  if (dcb.StopBits != ONESTOPBIT) settings.c_cflag |= CSTOPB;
  // Linux has no output-only CTS flow control: CRTSCTS also lets the driver
  // lower RTS when its input buffer fills.
  if (dcb.fOutxCtsFlow) settings.c_cflag |= CRTSCTS;
  settings.c_iflag &= ~static_cast<tcflag_t>(INPCK | IXON | IXOFF);
  if (dcb.fParity && dcb.Parity != NOPARITY) settings.c_iflag |= INPCK;
  if (dcb.fOutX) settings.c_iflag |= IXON;
  if (dcb.fInX) settings.c_iflag |= IXOFF;
  settings.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
  settings.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
  return 0;
}

}  // namespace voren::win32

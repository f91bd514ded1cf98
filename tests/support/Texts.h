#pragma once
// The window's own messages as the operator reads them, written out here
// once: a typo in the program's text fails the tests that compare with them.

#include <QString>

namespace ktv::test {

inline const QString DidNotConnectText = QStringLiteral(
    "The unit DID NOT CONNECT.  \r\rPlease check Com Port Setting, Cables and Power.");
inline const QString NotConnectedText = QStringLiteral(
    "There in no unit connected!  \r\n\r\nA unit must be ONLINE before you can send any "
    "information. \r\nGo to the Setup Menu to configure the Com Port and CONNECT to the unit.");

} // namespace ktv::test

// Filling the connection file template.
#include "launch/connection_file.h"

#include "store/text936.h"

namespace tessaline {

const std::string_view connectionFileTemplate =
    "screen mode id:i:1\r\n"
    "desktopwidth:i:800\r\n"
    "desktopheight:i:600\r\n"
    "session bpp:i:16\r\n"
    "winposstr:s:0,3,0,0,800,600\r\n"
    "compression:i:1\r\n"
    "keyboardhook:i:2\r\n"
    "displayconnectionbar:i:1\r\n"
    "username:s:%\xD5\xCB\xBA\xC5%\r\n"                              // %账号%
    "disable wallpaper:i:1\r\n"
    "disable full window drag:i:1\r\n"
    "allow desktop composition:i:0\r\n"
    "allow font smoothing:i:0\r\n"
    "disable menu anims:i:1\r\n"
    "disable themes:i:0\r\n"
    "disable cursor setting:i:0\r\n"
    "bitmapcachepersistenable:i:1\r\n"
    "full address:s:%\xB7\xFE\xCE\xF1\xC6\xF7\xB5\xD8\xD6\xB7%\r\n"  // %服务器地址%
    "%\xC3\xDC\xC2\xEB%\r\n"                                         // %密码%
    "audiomode:i:0\r\n"
    "redirectprinters:i:1\r\n"
    "redirectcomports:i:0\r\n"
    "redirectsmartcards:i:1\r\n"
    "redirectclipboard:i:1\r\n"
    "redirectposdevices:i:0\r\n"
    "drivestoredirect:s:\r\n"
    "autoreconnection enabled:i:1\r\n"
    "authentication level:i:0\r\n"
    "prompt for credentials:i:0\r\n"
    "negotiate security layer:i:1\r\n"
    "remoteapplicationmode:i:0\r\n"
    "alternate shell:s:\r\n"
    "shell working directory:s:\r\n"
    "gatewayhostname:s:\r\n"
    "gatewayusagemethod:i:4\r\n"
    "gatewaycredentialssource:i:4\r\n"
    "gatewayprofileusagemethod:i:0\r\n"
    "promptcredentialonce:i:1\r\n";

std::string withoutLineBreaks(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    for (char c : text) {
        if (c != '\r' && c != '\n') kept.push_back(c);
    }
    // A lead byte left alone at the end would take the byte after the value
    // (":" or the line's CR) as its second byte.
    std::size_t i = 0;
    while (i + 1 < kept.size()) i += text936::charLength(kept, i);
    if (i + 1 == kept.size() && text936::isLeadByte(kept[i])) kept.pop_back();
    return kept;
}

std::string buildConnectionText(const ServerEntry& entry,
                                const std::function<std::string(std::string_view password)>& encodePassword) {
    std::string text = text936::replaceAll(connectionFileTemplate, accountPlaceholder, withoutLineBreaks(entry.account));

    std::string fullAddress = withoutLineBreaks(entry.address);
    fullAddress += ':';
    fullAddress += withoutLineBreaks(entry.port);
    text = text936::replaceAll(text, addressPlaceholder, fullAddress);

    if (!entry.password.empty()) {
        std::string passwordLine(passwordLinePrefix);
        passwordLine += encodePassword(entry.password);
        text = text936::replaceAll(text, passwordPlaceholder, passwordLine);
    }
    return text;
}

std::string formatByteUpperHex(unsigned char byte) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    if (byte >= 0x10) out.push_back(digits[byte >> 4]);
    out.push_back(digits[byte & 0x0F]);
    return out;
}

std::string hexEncodeBlob(std::span<const unsigned char> bytes, const FormatByte& formatByte) {
    std::string hex;
    hex.reserve(bytes.size() * 2 + 1);
    for (unsigned char byte : bytes) {
        const std::string digits = formatByte(byte);
        if (digits.size() == 1) hex.push_back('0');
        hex += digits;
    }
    hex.push_back('0');
    return hex;
}

} // namespace tessaline

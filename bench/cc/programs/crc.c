/* CRC-32 of 1000 bytes, bit by bit: unsigned shifts, masks and byte loads. */
#include <roziduv2.h>

static unsigned char data[1000];

static unsigned crc32(const unsigned char* bytes, int length) {
    unsigned crc = 0xFFFFFFFFu;
    for (int i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & -(crc & 1));
    }
    return ~crc;
}

int main(void) {
    for (int i = 0; i < 1000; ++i)
        data[i] = (unsigned char)(i * 7 + 3);
    print(crc32(data, 1000));
    return 0;
}

/*
 * crc32.h: the CRC-32 of the ZIP format (reflected polynomial 0xEDB88320),
 * kept in the engine's CRC register member by member.
 */
#ifndef TARVEX_UNZIP_CRC32_H
#define TARVEX_UNZIP_CRC32_H

#include <cstddef>
#include <cstdint>

/* Folds count bytes into register and returns the new register.  A member
   starts with 0xFFFFFFFF; its CRC-32 is the complement of the end value. */
uint32_t crc_update(uint32_t crc_register, const uint8_t *bytes, size_t count);

/* The same value by one road each, whatever the processor offers: a byte at
   a time through the one table, and eight bytes a step.  For checking the
   roads against each other. */
uint32_t crc_update_bytewise(uint32_t crc_register, const uint8_t *bytes, size_t count);
uint32_t crc_update_sliced(uint32_t crc_register, const uint8_t *bytes, size_t count);

#endif

// The library's failures, as one error class with the library's code and message.

/** The status codes of the C library (vrk_status), by name. */
export const ErrorCode = Object.freeze({
  UNSUPPORTED_IMAGE: 1,
  CANNOT_OPEN_INPUT: 2,
  CANNOT_OPEN_OUTPUT: 3,
  CANNOT_READ: 4,
  CANNOT_WRITE: 5,
  INVALID_COMPRESSED_FILE: 6,
  INVALID_DIMENSION: 7,
  INVALID_PARAMETERS: 8,
  INCORRECT_CRC: 9,
  IMAGE_TOO_LARGE: 10,
  CANNOT_CLOSE_IMAGE: 11,
  OUT_OF_MEMORY: 12,
  LIMIT_EXCEEDED: 13,
  OUTPUT_EXISTS: 14,
  INVALID_ARGUMENT: 15,
  BUFFER_TOO_SMALL: 16,
});

const names = Object.fromEntries(Object.entries(ErrorCode).map(([name, code]) => [code, name]));

/** A failure reported by the library: `code` says which, `message` is the library's fixed text. */
export class VrkError extends Error {
  constructor(code, message, detail) {
    super(message);
    this.name = 'VrkError';
    this.code = code;
    this.codeName = names[code] ?? 'UNKNOWN';
    if (detail !== undefined) this.detail = detail;
  }
}

// Types of the vrk package: the library compiled to WebAssembly.

/** The C library's status codes (vrk_status), by name. */
export declare const ErrorCode: Readonly<{
  UNSUPPORTED_IMAGE: 1;
  CANNOT_OPEN_INPUT: 2;
  CANNOT_OPEN_OUTPUT: 3;
  CANNOT_READ: 4;
  CANNOT_WRITE: 5;
  INVALID_COMPRESSED_FILE: 6;
  INVALID_DIMENSION: 7;
  INVALID_PARAMETERS: 8;
  INCORRECT_CRC: 9;
  IMAGE_TOO_LARGE: 10;
  CANNOT_CLOSE_IMAGE: 11;
  OUT_OF_MEMORY: 12;
  LIMIT_EXCEEDED: 13;
  OUTPUT_EXISTS: 14;
  INVALID_ARGUMENT: 15;
  BUFFER_TOO_SMALL: 16;
}>;

/** A failure reported by the library; `message` is the library's fixed text. */
export declare class VrkError extends Error {
  readonly name: 'VrkError';
  /** One of ErrorCode's values. */
  readonly code: number;
  /** That code's name in ErrorCode, e.g. 'INCORRECT_CRC'. */
  readonly codeName: keyof typeof ErrorCode | 'UNKNOWN';
  /** More about this failure, where there is more to say. */
  readonly detail?: string;
}

/** The image file format a .vrk file was compressed from. */
export type Format = 'raw' | 'sun_raster' | 'pgm' | 'ppm';

/** Compressed or image file bytes. */
export type Bytes = Uint8Array | ArrayBufferLike | ArrayBufferView;

export interface Info {
  width: number;
  height: number;
  /** 1 grey (or colour-map indices of a Sun raster), 3 colour. */
  channels: 1 | 3;
  /** 8..16 */
  bitsPerSample: number;
  /** 1, or 2 for 9..16 bits. */
  bytesPerSample: 1 | 2;
  /** 0 lossless, 1..12 lossy. */
  lossFactor: number;
  /** Adaptive prefix codes instead of arithmetic coding. */
  fast: boolean;
  /** The graphics engine (prediction) instead of the wavelet. */
  graphics: boolean;
  format: Format;
  /** The original file's own header bytes (PNM text, Sun raster header and colour map). */
  header: Uint8Array;
}

export interface Image extends Info {
  /** Rows top to bottom, channels interleaved: 8-bit samples, or 9..16-bit ones. */
  data: Uint8Array | Uint16Array;
}

export interface DecodeOptions {
  /** Width x height above this is refused (LIMIT_EXCEEDED) before any buffer is allocated. Infinity lifts it. */
  maxPixels?: number;
}

export interface CodingOptions {
  /** 0 lossless (the default), 1..12 lossy. */
  lossFactor?: number;
  /** Adaptive prefix codes instead of arithmetic coding. */
  fast?: boolean;
  /** The graphics engine, for synthetic images. */
  graphics?: boolean;
}

export interface EncodeOptions extends CodingOptions {
  width: number;
  height: number;
  /** 1 grey (the default), 3 colour (8 bits only). */
  channels?: 1 | 3;
  /** 8 for Uint8Array data; 9..16 for Uint16Array data (default 16). */
  bitsPerSample?: number;
}

export interface CompressImageOptions extends CodingOptions {
  format: Format;
  /** Headerless samples ('raw'): the image's width. */
  rawWidth?: number;
  /** Headerless samples: the image's height; 0 (the default) as high as wide. */
  rawHeight?: number;
  /** Headerless samples: 1 grey, 2 grey of 16 bits (high byte first), 3 colour. */
  rawBytesPerPixel?: 1 | 2 | 3;
}

/** The library's version. */
export declare const version: string;
/** The default pixel limit of decode() and restoreImage(): 16384 x 16384. */
export declare const DEFAULT_MAX_PIXELS: number;

export declare function inspect(bytes: Bytes): Info;
export declare function decode(bytes: Bytes, options?: DecodeOptions): Image;
export declare function encode(data: Uint8Array | Uint16Array, options: EncodeOptions): Uint8Array;
export declare function compressImage(file: Bytes, options: CompressImageOptions): Uint8Array;
export declare function restoreImage(bytes: Bytes, options?: DecodeOptions): { format: Format; file: Uint8Array };

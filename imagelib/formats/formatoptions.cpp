#include "formatoptions.h"

bool GammaCorrectionOnRead = true;
bool WriteGamma = true;
int32_t JPEGDecompMethod = 0;
int32_t JPEGCompMethod = 2;
int32_t JPEGCompQuality = 80;
bool JPEGCompProgressive = false;
bool PXMWriteBinary = false;
int32_t TIFFWriteCompression = 1;
int32_t TIFFWriteTrueColorPhotInterpret = 0;
int32_t TIFFWriteGrayScalePhotInterpret = 0;
int32_t TIFFWriteByteOrder = 0;
int32_t TIFFWriteResolutionUnit = 1;
int32_t TIFFWriteXResolutionNumerator = 300;
int32_t TIFFWriteXResolutionDenominator = 1;
int32_t TIFFWriteYResolutionNumerator = 300;
int32_t TIFFWriteYResolutionDenominator = 1;
bool BitFieldsFullRange = true;
bool ConvertToSRGB = true;
bool JPEGOptimizeCoding = true;
int32_t WebPQuality = 80;
bool WebPLossless = false;
bool AutoOrient = true;
bool KeepPhotoInfo = false;

#pragma once
// Colour profiles the tests make with Little CMS: a grey one and a CMYK one.

#include <lcms2.h>

#include <cstdint>
#include <vector>

namespace testprofiles {

inline std::vector<uint8_t> Saved(cmsHPROFILE profile) {
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::vector<uint8_t> bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}

// Grey levels that are linear light: far from sRGB's curve.
inline std::vector<uint8_t> LinearGrayProfile() {
  cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
  cmsHPROFILE profile = cmsCreateGrayProfile(cmsD50_xyY(), linear);
  cmsFreeToneCurve(linear);
  return Saved(profile);
}

// Inks whose light is sRGB's (1 - ink) (1 - black), as a table of 5 points
// each way into Lab.
inline std::vector<uint8_t> CMYKProfile() {
  cmsHPROFILE srgb = cmsCreate_sRGBProfile(), lab = cmsCreateLab4Profile(nullptr);
  cmsHTRANSFORM toLab = cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
  cmsStage* table = cmsStageAllocCLut16bit(nullptr, 5, 4, 3, nullptr);
  const auto sample = [](const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) -> cmsInt32Number {
    const double black = 1 - in[3] / 65535.0;
    const double rgb[3] = {(1 - in[0] / 65535.0) * black, (1 - in[1] / 65535.0) * black,
                           (1 - in[2] / 65535.0) * black};
    cmsCIELab colour;
    cmsDoTransform(cargo, rgb, &colour, 1);
    cmsFloat2LabEncoded(out, &colour);
    return TRUE;
  };
  cmsStageSampleCLut16bit(table, sample, toLab, 0);
  // Saved as lutAtoBType, which wants curves on both sides of the table.
  cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, 4, 3);
  cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr));
  cmsPipelineInsertStage(pipeline, cmsAT_END, table);
  cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
  cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
  cmsSetProfileVersion(profile, 4.3);
  cmsSetDeviceClass(profile, cmsSigOutputClass);
  cmsSetColorSpace(profile, cmsSigCmykData);
  cmsSetPCS(profile, cmsSigLabData);
  cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
  // Tables for the perceptual and the relative colorimetric intent.
  cmsWriteTag(profile, cmsSigAToB0Tag, pipeline);
  cmsWriteTag(profile, cmsSigAToB1Tag, pipeline);
  cmsPipelineFree(pipeline);
  cmsDeleteTransform(toLab);
  cmsCloseProfile(srgb);
  cmsCloseProfile(lab);
  return Saved(profile);
}

}  // namespace testprofiles

#pragma once
// Control ids of the main window, shared by the window and the handler groups.
namespace ms::id {

constexpr int kTree = 1002;
constexpr int kReplace = 1003;
constexpr int kMerge = 1004;
constexpr int kClearModel = 1005;
constexpr int kSaveModel = 1006;
constexpr int kSaveModelAs = 1007;
constexpr int kToleranceEdit = 1009;
constexpr int kDisplay = 1011;
constexpr int kMeshInfoFirst = 1013;
constexpr int kMeshInfoLast = 1038;
constexpr int kBlendIndexed = 1023;
constexpr int kBlendPrevious = 1025;
constexpr int kBlendNext = 1026;
constexpr int kHex = 1034;
constexpr int kMaterialToolsFirst = 1039;
constexpr int kMaterialToolsLast = 1056;
constexpr int kMaterialDiffuse = 1052;
constexpr int kConnect = 1058;
constexpr int kConnectShadow = 1059;
constexpr int kConnectBlank = 1061;
constexpr int kConnectBlankShadow = 1062;
constexpr int kLevelDown = 1065;
constexpr int kLevelUp = 1066;
constexpr int kSetDistance = 1067;
constexpr int kDistanceEdit = 1068;
constexpr int kTriangles = 1069;
constexpr int kLines = 1070;
constexpr int kPoints = 1071;
constexpr int kSpecular = 1072;
constexpr int kAlpha = 1073;
constexpr int kDrawSceleton = 1076;
constexpr int kDrawShadow = 1077;
constexpr int kBonesOnTop = 1078;
constexpr int kDrawMeshes = 1079;
constexpr int kDrawEnvelope = 1080;
constexpr int kNoCulling = 1081;
constexpr int kOpenScene = 1082;
constexpr int kSaveScene = 1083;
constexpr int kClearScene = 1084;
constexpr int kLoadSceleton = 1085;
constexpr int kSelect = 1086;
constexpr int kTranslate = 1087;
constexpr int kRotate = 1088;
constexpr int kClearMeshes = 1089;
constexpr int kClearShadow = 1090;
constexpr int kNoTerminationFrames = 1092;
constexpr int kEnvelopeFirst = 1093;
constexpr int kEnvelopeCopy = 1093;
constexpr int kEnvelopePaste = 1094;
constexpr int kEnvelopeLast = 1113;
constexpr int kFunctionFirst = 1095;
constexpr int kFunctionLast = 1098;
constexpr int kNormalCheck = 1109;
constexpr int kDot1X = 1099;  // the ten envelope edits: Dot 1 X, Y, Z, R1, R2, then Dot 2
constexpr int kRegenEnvelope = 1110;
constexpr int kRegenEnvelopes = 1111;
constexpr int kEnvelopeRef = 1112;
constexpr int kEnvelopeSet = 1113;
constexpr int kAxisX = 1114;  // the six axis radios X, Y, Z, YZ, ZX, XY
constexpr int kAxisYZ = 1117;
constexpr int kZeroAngleX = 1120;  // "a&X=0", "a&Y=0", "a&Z=0"
constexpr int kResetSceleton = 1123;
constexpr int kResetBone = 1124;
constexpr int kCameraTargetX = 1125;  // then Y, Z, AY, AXZ, L
constexpr int kNearEdit = 1131;
constexpr int kFarEdit = 1132;
constexpr int kCameraFront = 1133;  // the six presets: Front, Back, Left, Right, Bottom, Top
constexpr int kCameraSet = 1139;
constexpr int kLevelText = 1160;
constexpr int kViewport = 1178;

}  // namespace ms::id

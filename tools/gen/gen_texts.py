#!/usr/bin/env python3
"""Writes res/texts.h: the system's own texts as UTF-8 and as GBK bytes side by side.

The Qt-free cores speak GBK (the device's code page) and the window speaks UTF-8; keeping both forms in
one generated table means neither side converts at run time and a test can check the pairs with iconv.
Run it after editing TEXTS: python3 tools/gen/gen_texts.py > res/texts.h
"""

TEXTS = [
    # Parameter form values
    ("kTextNbIotModule", "NB-IoT模组"),
    ("kText4gModule", "4G模组"),
    ("kTextOnline", "在线"),
    ("kTextOffline", "不在线"),
    ("kTextLinkUp", "√"),
    ("kTextLinkDown", "×"),
    ("kTextNonTransparent", "非透明"),
    ("kTextTransparent", "透明"),
    ("kTextPositioningOn", "开启"),
    ("kTextPositioningOff", "关闭"),
    ("kTextTempHumidity", "温湿度"),
    ("kTextDtu", "DTU"),
    ("kTextUdp", "UDP"),
    ("kTextTcp", "TCP"),
    ("kTextCoap", "CoAP"),
    ("kTextOdd", "ODD"),
    ("kTextEven", "EVEN"),
    ("kTextNone", "NONE"),
    # Labels that follow the device type
    ("kTextImeiLabel", "IMEI号"),
    ("kTextReportPeriodLabel", "温湿度上报周期"),
    ("kTextDeviceAddressLabel", "设备地址"),
    ("kTextDeviceIdLabel", "设备ID号"),
    ("kTextHeartbeatLabel", "心跳包周期"),
    ("kTextNetcheckLabel", "网络检测周期"),
    # Status pane 2, device exchange
    ("kTextReading", "正在读取参数..."),
    ("kTextSaving", "正在保存参数..."),
    ("kTextRestoring", "正在恢复出厂设置..."),
    ("kTextRebooting", "正在重启设备..."),
    ("kTextReadDone", "参数读取完毕！"),
    ("kTextConfigOk", "配置成功！"),
    ("kTextConfigFailed", "配置失败！"),
    ("kTextDefaultsDone", "已成功恢复出厂设置！"),
    ("kTextRebooted", "设备已重启！"),
    # The window's own texts: captions that follow a state, boxes and status panes (%1, %2 filled by Qt)
    ("kTextReceiveArea", "接收区"),
    ("kTextSendArea", "发送区"),
    ("kTextAutoSendPeriodMs", "自动发送周期（毫秒）"),
    ("kTextPortNotOpen", "串口没有打开，请打开串口"),
    ("kTextFieldTooLong", "%1 过长：最多 %2 字节"),
    ("kTextFieldNotGbk", "%1 含有无法发送的字符"),
    ("kTextFieldNotNumber", "%1 不是整数：请填 %2 到 %3"),
    ("kTextFieldOutOfRange", "%1 超出范围：请填 %2 到 %3"),
    ("kTextFieldNotParity", "%1 须为 NONE、ODD 或 EVEN"),
    ("kTextExportIsLink", "%1 是一个链接，未写入：配置只写入普通文件，请另选文件名"),
    ("kTextExportNotRegular", "%1 不是普通文件，未写入"),
    ("kTextCannotWrite", "无法写入 %1：%2"),
    ("kTextFieldsNotExported", "以下字段未导出："),
    ("kTextCannotRead", "无法读取 %1：%2"),
    ("kTextProfileInvalid", "配置文件有误：%1"),
    ("kTextDeviceTypeKept", "设备类型已锁定，保持为“%1”；配置文件中的“%2”未导入"),
    ("kTextNothingToSave", "表单中还没有从设备读取的参数或导入的配置：请先读取参数或导入配置，再保存参数"),
    ("kTextRecordDamaged", "收到的参数记录已损坏（校验和不符）：表单所示不可信，不能据此保存；请重新读取参数"),
    ("kTextOpenPort", "打开串口"),
    ("kTextClosePort", "关闭串口"),
    ("kTextPortOpened", "串口已打开"),
    ("kTextPortClosed", "串口已关闭"),
    ("kTextChoosePort", "请选择正确的串口号及参数并打开串口."),
    ("kTextPortMissingOrBusy", "没有发现此串口或被占用"),
    ("kTextStopAutoSendFirst", "请先关掉自动发送"),
    ("kTextExportProfileMenu", "导出配置..."),
    ("kTextImportProfileMenu", "导入配置..."),
    ("kTextExportProfileTitle", "导出配置"),
    ("kTextImportProfileTitle", "导入配置"),
    ("kTextProfileFilter", "配置文件 (*.json)"),
    ("kTextDebugShow", "调试>>"),
    ("kTextDebugHide", "调试<<"),
    ("kTextStopDisplay", "停止显示"),
    ("kTextResumeDisplay", "继续显示"),
    ("kTextSendNotGbk", "发送区含有无法按 GBK 编码发送的字符"),
    # Network diagnosis and signal survey
    ("kTextDiagMenu", "网络诊断..."),
    ("kTextSurveyMenu", "信号监测..."),
    ("kTextDiagTitle", "网络诊断"),
    ("kTextDiagRunning", "正在诊断，逐项询问模块..."),
    ("kTextDiagVerdictPrefix", "结论："),
    ("kTextDiagVerdictName", "诊断结论"),
    ("kTextDiagTableName", "诊断结果"),
    ("kTextDiagColItem", "项目"),
    ("kTextDiagColValue", "数值"),
    ("kTextDiagColMeaning", "含义/等级"),
    ("kTextDiagColRaw", "模块原始应答"),
    ("kTextDiagModuleError", "模块报错"),
    ("kTextDiagUnreadable", "无法识别的应答"),
    ("kTextDiagNoAnswer", "无应答"),
    ("kTextDiagNotAsked", "未询问"),
    ("kTextDiagRerun", "重新诊断"),
    ("kTextDiagCopy", "复制结果"),
    ("kTextDiagSave", "保存结果..."),
    ("kTextDiagClose", "关闭"),
    ("kTextDiagFileFilter", "文本文件 (*.txt)"),
    ("kTextSurveyTitle", "信号监测"),
    ("kTextSurveyInterval", "查询间隔"),
    ("kTextSurveySeconds", " 秒"),
    ("kTextSurveyStart", "开始"),
    ("kTextSurveyStop", "停止"),
    ("kTextSurveyClear", "清除"),
    ("kTextSurveySave", "保存CSV..."),
    ("kTextSurveyFileFilter", "CSV 文件 (*.csv)"),
    ("kTextSurveyStatsName", "信号统计"),
    ("kTextSurveyTableName", "信号样本"),
    ("kTextSurveyColTime", "时间"),
    ("kTextSurveyColGrade", "等级"),
    ("kTextSurveyMinMeanMax", "最小/平均/最大"),
    ("kTextSignalTip", "信号"),
    ("kTextSaveIsLink", "%1 是一个链接，未写入：只写入普通文件，请另选文件名"),
    ("kTextSignalPlotName", "信号曲线"),
    # The module diagnosis in the window's words (the command line keeps the English of modem/)
    ("kTextModemItemSim", "SIM卡"),
    ("kTextModemItemImei", "IMEI号"),
    ("kTextModemItemIccid", "ICCID（SIM卡号）"),
    ("kTextModemItemImsi", "IMSI"),
    ("kTextModemItemManufacturer", "模块厂商"),
    ("kTextModemItemModel", "模块型号"),
    ("kTextModemItemFirmware", "模块固件版本"),
    ("kTextModemItemOperator", "运营商"),
    ("kTextModemItemRegCs", "网络注册（CS）"),
    ("kTextModemItemRegGprs", "网络注册（GPRS）"),
    ("kTextModemItemRegLte", "网络注册（LTE）"),
    ("kTextModemItemCsq", "信号（CSQ）"),
    ("kTextModemItemCesq", "信号（CESQ）"),
    ("kTextModemItemApn", "APN"),
    ("kTextModemNoAnswer", "无应答"),
    ("kTextModemNotAsked", "未询问：模块已停止应答"),
    ("kTextModemUnreadable", "无法识别的应答"),
    ("kTextModemCheckDigitOk", "校验位正确"),
    ("kTextModemCheckDigitWrong", "校验位错误"),
    ("kTextModemFromSimFile", "从SIM卡文件读出"),
    ("kTextModemCountryCode", "国家码（MCC）"),
    ("kTextModemNone", "无"),
    ("kTextModemNoOperator", "未选择运营商"),
    ("kTextModemAccessTechnology", "接入技术"),
    ("kTextModemNotStandard", "（非标准编号）"),
    ("kTextModemArea", "区域"),
    ("kTextModemCell", "小区"),
    ("kTextModemUnknown", "未知"),
    ("kTextModemOrLess", " 或更低"),
    ("kTextModemOrMore", " 或更高"),
    ("kTextModemNoContext", "未定义PDP上下文"),
    ("kTextModemApnMatches", "与参数中的APN一致"),
    ("kTextModemApnDiffers", "与参数中的APN不一致："),
    ("kTextModemModule", "模块"),
    ("kTextModemRecord", "参数"),
    ("kTextModemRefused", "模块拒绝执行该命令或不支持该命令"),
    ("kTextModemError", "模块错误"),
    ("kTextModemSmsError", "短消息服务错误"),
    ("kTextModemNothingAnswered", "所有查询均无应答"),
    ("kTextModemNoRegistration", "无法读取注册状态"),
    ("kTextGradeExcellent", "优"),
    ("kTextGradeGood", "良"),
    ("kTextGradeFair", "中"),
    ("kTextGradePoor", "差"),
    ("kTextGradeNone", "无"),
    ("kTextVerdictModuleSilent", "模块无应答"),
    ("kTextVerdictNoSim", "未检测到可用的SIM卡"),
    ("kTextVerdictPinNeeded", "SIM卡需要PIN码"),
    ("kTextVerdictDenied", "网络拒绝注册"),
    ("kTextVerdictNotRegistered", "未注册到网络"),
    ("kTextVerdictNoSignal", "无信号"),
    ("kTextVerdictApnDiffers", "模块的APN与参数中的APN不一致"),
    ("kTextVerdictUndetermined", "无法判断"),
    ("kTextVerdictLooksFine", "看起来正常"),
]

# Lists indexed by the standard's numbers (the English beside them in modem/).
TABLES = [
    ("kTextsSimStateZh", [  # SimState order
        "SIM卡就绪", "SIM卡已锁：需要PIN码", "SIM卡已锁死：需要PUK码", "需要PIN2码（不影响数据业务）",
        "未插入SIM卡", "SIM卡未就绪"]),
    ("kTextsOperatorModeZh", ["自动", "手动", "已从网络注销", "仅设置格式", "先手动后自动"]),
    ("kTextsOperatorFormatZh", ["长名称", "短名称", "数字（MCC MNC）"]),
    ("kTextsAccessTechnologyZh", [
        "GSM（2G）", "GSM Compact（2G）", "UTRAN（3G）", "GSM EGPRS（2G）", "UTRAN HSDPA（3G）",
        "UTRAN HSUPA（3G）", "UTRAN HSDPA与HSUPA（3G）", "E-UTRAN（LTE）", "EC-GSM-IoT",
        "E-UTRAN NB-S1（NB-IoT）", "E-UTRA接入5G核心网", "NR接入5G核心网（5G）", "NG-RAN", "E-UTRA与NR双连接"]),
    ("kTextsRegistrationZh", [
        "未注册，未在搜索网络", "已注册，本地网络", "未注册，正在搜索网络", "注册被拒绝",
        "未知（如不在覆盖范围内）", "已注册，漫游", "仅注册短信业务，本地网络", "仅注册短信业务，漫游",
        "仅接入紧急承载业务", "已注册（不优先CSFB），本地网络", "已注册（不优先CSFB），漫游"]),
]

# +CME ERROR: n, mobile termination and packet domain errors.
CME_ERRORS_ZH = [
    (0, "手机故障"), (1, "未连接手机"), (2, "手机适配器链路保留"), (3, "不允许的操作"), (4, "不支持的操作"),
    (5, "需要PH-SIM PIN码"), (6, "需要PH-FSIM PIN码"), (7, "需要PH-FSIM PUK码"), (10, "未插入SIM卡"),
    (11, "需要SIM卡PIN码"), (12, "需要SIM卡PUK码"), (13, "SIM卡故障"), (14, "SIM卡忙"), (15, "SIM卡错误"),
    (16, "密码错误"), (17, "需要SIM卡PIN2码"), (18, "需要SIM卡PUK2码"), (20, "存储器已满"), (21, "无效索引"),
    (22, "未找到"), (23, "存储器故障"), (24, "文本过长"), (25, "文本含无效字符"), (26, "拨号串过长"),
    (27, "拨号串含无效字符"), (30, "无网络服务"), (31, "网络超时"), (32, "网络不允许：仅限紧急呼叫"),
    (40, "需要网络个性化PIN码"), (41, "需要网络个性化PUK码"), (42, "需要网络子集个性化PIN码"),
    (43, "需要网络子集个性化PUK码"), (44, "需要服务提供商个性化PIN码"), (45, "需要服务提供商个性化PUK码"),
    (46, "需要企业个性化PIN码"), (47, "需要企业个性化PUK码"), (48, "需要隐藏密钥"), (49, "不支持的EAP方法"),
    (50, "参数错误"), (51, "命令已实现但当前被禁用"), (52, "命令被用户中止"),
    (53, "因终端功能限制未附着网络"), (54, "模块不允许：终端仅限紧急呼叫"), (55, "因终端功能限制不允许该操作"),
    (56, "仅允许固定拨号"), (57, "因终端其他用途暂时无服务"), (58, "不支持的语言/字母表"), (59, "意外的数据值"),
    (60, "系统故障"), (61, "数据缺失"), (62, "呼叫被禁止"), (63, "消息等待指示订阅失败"), (100, "未知"),
    (103, "非法MS"), (106, "非法ME"), (107, "不允许GPRS业务"), (108, "不允许GPRS及非GPRS业务"),
    (111, "不允许该PLMN"), (112, "不允许该位置区"), (113, "该位置区不允许漫游"), (114, "该PLMN不允许GPRS业务"),
    (115, "位置区内无合适小区"), (122, "网络拥塞"), (125, "未获该CSG授权"), (126, "资源不足"),
    (127, "APN缺失或未知"), (128, "未知的PDP地址或PDP类型"), (129, "用户鉴权失败"),
    (130, "激活被GGSN、服务网关或PDN网关拒绝"), (131, "激活被拒绝，原因未指明"), (132, "不支持的业务选项"),
    (133, "未订阅所请求的业务选项"), (134, "业务选项暂时不可用"), (140, "不支持的功能"),
    (141, "TFT操作语义错误"), (142, "TFT操作语法错误"), (143, "未知的PDP上下文"), (144, "包过滤器语义错误"),
    (145, "包过滤器语法错误"), (146, "无TFT的PDP上下文已激活"), (148, "未指明的GPRS错误"),
    (149, "PDP鉴权失败"), (150, "无效的移动台类别"), (171, "不允许断开最后一个PDN连接"),
    (172, "语义错误的消息"), (173, "必选信息元素错误"), (174, "信息元素不存在或未实现"),
    (175, "条件信息元素错误"), (176, "协议错误，原因未指明"), (177, "运营商决定的限制"),
    (178, "已达PDP上下文数上限"), (179, "当前接入技术与PLMN组合不支持所请求的APN"),
]


def c_escape(data: bytes) -> str:
    out = []
    prev_hex = False
    for b in data:
        ch = chr(b)
        if 0x20 <= b < 0x7F and ch not in '"\\':
            # A hex escape swallows following hex digits; split the literal there.
            if prev_hex and ch in "0123456789abcdefABCDEF":
                out.append('" "')
            out.append(ch)
            prev_hex = False
        else:
            out.append("\\x%02X" % b)
            prev_hex = True
    return '"' + "".join(out) + '"'


def main() -> None:
    print("// Generated by tools/gen/gen_texts.py; edit the table there, not this file.")
    print("// Each text in GBK, the code page of the device and of the form's byte fields, and in UTF-8.")
    print("#pragma once\n")
    print("#include <string_view>\n")
    print("struct GbkText {")
    print("    std::string_view gbk;")
    print("    std::string_view utf8;")
    print("};\n")
    for name, text in TEXTS:
        print(f"inline constexpr GbkText {name}{{{c_escape(text.encode('gbk'))}, \"{text}\"}};")
    for name, texts in TABLES:
        print(f"\ninline constexpr GbkText {name}[] = {{")
        for text in texts:
            print(f"    {{{c_escape(text.encode('gbk'))}, \"{text}\"}},")
        print("};")
    print("\nstruct CodedText {")
    print("    int code;")
    print("    GbkText text;")
    print("};\n")
    print("inline constexpr CodedText kTextsCmeErrorZh[] = {")
    for code, text in CME_ERRORS_ZH:
        print(f"    {{{code}, {{{c_escape(text.encode('gbk'))}, \"{text}\"}}}},")
    print("};")
    print("\ninline constexpr GbkText kAllTexts[] = {")
    for name, _ in TEXTS:
        print(f"    {name},")
    for name, texts in TABLES:
        for i in range(len(texts)):
            print(f"    {name}[{i}],")
    for i in range(len(CME_ERRORS_ZH)):
        print(f"    kTextsCmeErrorZh[{i}].text,")
    print("};")


if __name__ == "__main__":
    main()

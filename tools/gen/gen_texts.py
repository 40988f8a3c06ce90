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
    print("\ninline constexpr GbkText kAllTexts[] = {")
    for name, _ in TEXTS:
        print(f"    {name},")
    print("};")


if __name__ == "__main__":
    main()

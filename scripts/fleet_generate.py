#!/usr/bin/env python3
"""Writes a fleet of qvdev1 reports laid out like an administrator's share,
OUT/<HOST>/<YYYY-MM-DD>.txt, for the qvfleet benchmark.

Usage:
  scripts/fleet_generate.py share OUT [--hosts 10000] [--devices 250] [--models 36] [--seed 1]
      [--date 2026-12-07]
  scripts/fleet_generate.py daily OUT [--hosts 1000] [--days 30] [--devices 250] [--change 0.01]
      [--models 36] [--seed 1] [--end 2026-12-07]

share: one report per host, all of one date. daily: one report per host and day, the
last one dated --end; from one day to the next about --change of each host's devices
change (a newer driver, a device removed, a device added, a new description) and every
other device section stays byte for byte the same. Every file's last-write time is its
date at 06:00:00 UTC, since that is where an indexer takes a report's time from.

The machines come in --models hardware models (laptops, desktops, a few servers and
virtual machines). Hosts of one model share most of their devices and drivers; what
varies between them is the Windows build and language, which release of each vendor
driver they run, the disk fitted, the dock, keyboards, mice and monitors, and a handful
of devices that exist on that host alone (volumes, audio endpoints, print queues, USB
devices with serial numbers, paired Bluetooth devices). The same seed gives the same
files, byte for byte.
"""

import argparse
import bisect
import calendar
import datetime
import os
import random
import re
import sys
import time
import zlib

# Setup classes.
CLS = {
    "system": "{4d36e97d-e325-11ce-bfc1-08002be10318}",
    "display": "{4d36e968-e325-11ce-bfc1-08002be10318}",
    "net": "{4d36e972-e325-11ce-bfc1-08002be10318}",
    "media": "{4d36e96c-e325-11ce-bfc1-08002be10318}",
    "usb": "{36fc9e60-c465-11cf-8056-444553540000}",
    "hid": "{745a17a0-74d3-11d0-b6fe-00a0c90f57da}",
    "keyboard": "{4d36e96b-e325-11ce-bfc1-08002be10318}",
    "mouse": "{4d36e96f-e325-11ce-bfc1-08002be10318}",
    "monitor": "{4d36e96e-e325-11ce-bfc1-08002be10318}",
    "disk": "{4d36e967-e325-11ce-bfc1-08002be10318}",
    "volume": "{71a27cdd-812a-11d0-bec7-08002be2092f}",
    "volsnap": "{533c5b84-ec70-11d2-9505-00c04f79deaf}",
    "scsi": "{4d36e97b-e325-11ce-bfc1-08002be10318}",
    "hdc": "{4d36e96a-e325-11ce-bfc1-08002be10318}",
    "processor": "{50127dc3-0f36-415e-a6cc-4cb3be910b65}",
    "computer": "{4d36e966-e325-11ce-bfc1-08002be10318}",
    "bluetooth": "{e0cbf06c-cd8b-4647-bb8a-263b43f0f974}",
    "camera": "{ca3e7ab9-b4c3-4ae6-8251-579ef933890f}",
    "swdevice": "{62f9c741-b25a-46ce-b54c-9bccce08b6f2}",
    "swcomponent": "{5c4c3332-344d-483c-8739-259e934c9cc8}",
    "printqueue": "{1ed2bbf9-11f0-4084-b21f-ad83a8e6dcdc}",
    "audioendpoint": "{c166523c-fe0c-4a94-a586-f1a80cfbbf3e}",
    "firmware": "{f2e7dd72-6468-4e36-b6f1-6488f42c1b52}",
    "security": "{d94ee5d8-d189-4994-83d2-f68d7d41b0e6}",
    "biometric": "{53d29ef7-377c-4d14-864b-eb3a85769359}",
    "wpd": "{eec5ad98-8080-425f-922a-dabf3de3f69a}",
    "battery": "{72631e54-78a4-11d0-bcf7-00aa00b7b32a}",
    "smartcardreader": "{50dd5230-ba8a-11d1-bf5d-0000f805f530}",
    "smartcard": "{990a2bd7-e738-46c7-b26f-1cf8fb9f1391}",
    "sensor": "{5175d334-c371-4806-b3ba-71fd53c9258d}",
    "ucm": "{e6f1aa1c-7f3b-4473-b2e8-c97d8ac71d53}",
    "ports": "{4d36e978-e325-11ce-bfc1-08002be10318}",
    "accelerator": "{f01a9d53-3ff6-48d2-9f97-c8a7004be10c}",
    "cdrom": "{4d36e965-e325-11ce-bfc1-08002be10318}",
    "mtd": "{5099944a-f6b9-4057-a056-8c550228544c}",
}

# Windows builds: the family, the inbox driver version prefix, and the monthly revisions
# in order (the last one is the current month's). Inbox drivers carry 2006-06-21 and a
# version of the family whose last part depends on when the INF was last serviced.
OS_FAMILIES = {
    "19045": ("10.0.19041", ["3803", "4529", "4894", "5011", "5131", "5247"], [1, 1, 1, 1, 3636, 4355, 4842, 5072]),
    "22631": ("10.0.22621", ["3880", "4169", "4317", "4460", "4602"], [1, 1, 1, 2506, 3085, 3672, 4249]),
    "26100": ("10.0.26100", ["1882", "2033", "2314", "2605"], [1, 1, 1, 1591, 2161]),
    "20348": ("10.0.20348", ["2655", "2700", "2849", "2966"], [1, 1, 1, 1970, 2340]),
    "17763": ("10.0.17763", ["6293", "6414", "6532", "6659"], [1, 1, 1, 3570, 5122]),
}
INBOX_DATE = "2006-06-21"


class Pkg:
    """A vendor driver and the releases of it found in the fleet: (date, version, weight)."""

    def __init__(self, provider, releases, inf=None, ext=".NTamd64", bare=False):
        self.provider = provider
        self.releases = releases
        self.inf = inf  # None: an oemNN.inf, numbered per model
        self.ext = ext
        self.bare = bare  # Windows gives no provider, INF, section or matching id


PKGS = {
    "GFX_XE": Pkg("Intel Corporation", [("2022-01-24", "30.0.101.1404", 1), ("2023-06-12", "31.0.101.4502", 4),
                                        ("2024-01-10", "31.0.101.5186", 5), ("2024-06-12", "31.0.101.5590", 2)]),
    "GFX_UHD": Pkg("Intel Corporation", [("2022-08-09", "30.0.101.1994", 2), ("2023-07-27", "31.0.101.2125", 5),
                                         ("2024-03-01", "31.0.101.2127", 3)]),
    "GFX_ARC": Pkg("Intel Corporation", [("2024-05-10", "31.0.101.5534", 3), ("2024-08-26", "32.0.101.5972", 4),
                                         ("2024-10-18", "32.0.101.6078", 2)]),
    "GFX_NV": Pkg("NVIDIA", [("2023-09-19", "31.0.15.3742", 2), ("2024-03-11", "31.0.15.5186", 4),
                             ("2024-08-14", "32.0.15.6070", 3)]),
    "GFX_AMD": Pkg("Advanced Micro Devices, Inc.", [("2022-11-10", "31.0.12044.3", 1), ("2023-11-28", "31.0.21912.14", 3),
                                                   ("2024-07-30", "31.0.24027.1012", 3)]),
    "GFX_MATROX": Pkg("Matrox Graphics Inc.", [("2021-03-17", "9.15.1.224", 1)]),
    "GFX_VMW": Pkg("VMware, Inc.", [("2023-02-07", "9.17.4.3", 2), ("2024-01-30", "9.17.7.3", 3)]),
    "AUD_RTK": Pkg("Realtek Semiconductor Corp.", [("2022-08-24", "6.0.9381.1", 2), ("2023-07-11", "6.0.9549.1", 4),
                                                   ("2024-03-19", "6.0.9662.1", 3)]),
    "AUD_IDA": Pkg("Intel(R) Corporation", [("2023-05-22", "10.29.0.9677", 3), ("2024-02-07", "10.29.0.10006", 3)]),
    "AUD_SST": Pkg("Intel(R) Corporation", [("2023-04-18", "10.29.0.9480", 2), ("2024-01-23", "10.30.0.9940", 3)]),
    "WIFI_INTEL": Pkg("Intel", [("2022-11-28", "22.190.0.4", 1), ("2023-09-20", "22.250.1.2", 3),
                                ("2024-04-04", "23.40.0.4", 4), ("2024-08-09", "23.60.1.2", 2)]),
    "BT_INTEL": Pkg("Intel Corporation", [("2023-09-13", "22.250.0.2", 3), ("2024-04-02", "23.40.0.3", 4),
                                          ("2024-08-07", "23.60.0.1", 2)]),
    "WIFI_MTK": Pkg("MediaTek, Inc.", [("2023-03-15", "3.3.0.908", 2), ("2024-02-21", "3.4.0.1213", 3)]),
    "BT_MTK": Pkg("MediaTek Inc.", [("2023-03-10", "1.1037.0.395", 2), ("2024-02-05", "1.1040.0.412", 3)]),
    "ETH_I219": Pkg("Intel", [("2022-07-28", "12.19.2.45", 3), ("2023-11-08", "12.19.2.60", 4)]),
    "ETH_RTK": Pkg("Realtek", [("2023-02-20", "10.63.20.1124", 2), ("2024-05-15", "10.68.815.2023", 4)]),
    "ETH_RTKUSB": Pkg("Realtek", [("2023-06-27", "1153.10.20.1120", 3), ("2024-01-10", "1153.12.20.1213", 3)]),
    "ETH_BCM": Pkg("Broadcom Inc.", [("2022-03-04", "221.0.5.0", 2), ("2023-10-11", "223.0.3.0", 3)]),
    "ETH_X710": Pkg("Intel", [("2023-01-12", "1.16.202.10", 2), ("2024-03-05", "1.17.71.0", 3)]),
    "ETH_VMX": Pkg("VMware, Inc.", [("2023-06-20", "1.9.14.0", 2), ("2024-02-13", "1.9.17.0", 3)]),
    "RAID_PERC": Pkg("Broadcom", [("2023-05-09", "7.725.11.0", 2), ("2024-02-20", "7.728.8.0", 3)]),
    "SCSI_PVS": Pkg("VMware, Inc.", [("2023-02-07", "1.3.26.0", 3)]),
    "VMCI": Pkg("VMware, Inc.", [("2023-03-01", "9.8.18.0", 3)]),
    "VMMOUSE": Pkg("VMware, Inc.", [("2022-11-15", "12.5.12.0", 3)]),
    "CHIPSET": Pkg("INTEL", [("1968-07-18", "10.1.18793.8276", 3), ("1968-07-18", "10.1.19222.8341", 4),
                             ("1968-07-18", "10.1.19627.8423", 3)]),
    "SERIALIO": Pkg("Intel Corporation", [("2021-04-20", "30.100.2031.2", 3), ("2022-11-23", "30.100.2237.26", 4)]),
    "MEI": Pkg("Intel", [("2022-11-14", "2240.3.4.0", 2), ("2023-06-05", "2306.4.3.0", 4), ("2024-07-23", "2412.5.67.0", 2)]),
    "DPTF": Pkg("Intel", [("2022-05-30", "1.0.11100.32779", 2), ("2023-08-03", "1.0.11404.41023", 3)]),
    "GNA": Pkg("Intel Corporation", [("2021-05-28", "3.0.0.1457", 3)]),
    "NPU": Pkg("Intel Corporation", [("2024-05-15", "32.0.100.2408", 3), ("2024-09-27", "32.0.100.2820", 2)]),
    "TBT": Pkg("Intel(R) Corporation", [("2022-06-01", "1.41.1353.0", 3), ("2023-08-24", "1.41.1423.0", 2)]),
    "HIDEVT": Pkg("Intel(R) Corporation", [("2022-02-10", "2.2.1.384", 3)]),
    "ISH": Pkg("Intel Corporation", [("2022-12-01", "5.4.1.4449", 2), ("2023-09-28", "5.4.1.4479", 3)]),
    "CARD_RTK": Pkg("Realtek Semiconductor Corp.", [("2022-03-18", "10.0.22000.21355", 3), ("2023-09-07", "10.0.22621.21361", 4)]),
    "FP_SYNA": Pkg("Synaptics FP Sensors (WBF) (PID=00bd)", [("2023-02-14", "6.0.34.1120", 3)]),
    "FP_GOODIX": Pkg("Goodix", [("2022-10-20", "3.12.804.2", 3)]),
    "AMD_SMBUS": Pkg("Advanced Micro Devices, Inc", [("2022-05-05", "5.12.0.38", 3)]),
    "AMD_PSP": Pkg("Advanced Micro Devices Inc.", [("2023-01-20", "5.24.0.0", 2), ("2024-02-01", "5.30.0.0", 3)]),
    "AMD_GPIO": Pkg("Advanced Micro Devices, Inc", [("2022-08-09", "2.2.0.130", 3)]),
    "AMD_I2C": Pkg("Advanced Micro Devices, Inc", [("2022-03-15", "1.2.0.118", 3)]),
    "AMD_ACP": Pkg("Advanced Micro Devices", [("2023-04-04", "1.0.0.88", 3)]),
    "VPN": Pkg("Cisco Systems", [("2023-03-02", "4.10.7061.0", 2), ("2024-03-27", "5.1.3.62", 5)]),
    "ZSCALER": Pkg("Zscaler, Inc.", [("2024-04-18", "4.4.0.379", 3)]),
    "DOCKFW": Pkg("Dell", [("2023-10-02", "1.0.20.0", 3)], bare=True),
    "LEGACY": Pkg("", [("", "6.1.7600.16385", 1)], bare=True),  # no usable date
    "VMD": Pkg("Intel Corporation", [("2022-09-22", "19.5.1.1040", 2), ("2023-05-04", "19.5.7.1058", 3), ("2024-01-31", "20.1.0.1019", 2)]),
    "PMT": Pkg("Intel Corporation", [("2022-04-12", "1.0.0.1151", 3)]),
    "DEVFW": Pkg("Intel Corporation", [("2023-04-26", "16.1.27.2176", 2), ("2024-02-15", "16.1.30.2307", 3)], ext=None),
    "OEM_HOTKEY": Pkg("HP Inc.", [("2023-01-17", "1.0.23.1", 2), ("2024-04-11", "1.0.30.1", 3)]),
    "OEM_PM": Pkg("Lenovo", [("2022-09-06", "1.67.10.19", 3), ("2024-02-28", "1.67.12.25", 2)]),
    "OEM_DELL": Pkg("Dell Inc.", [("2023-03-21", "2.7.0.0", 3), ("2024-05-02", "2.9.0.0", 2)]),
}

# Drivers whose INF models section is decorated with the oldest Windows 10 build they support.
for _key, _build in [("GFX_XE", 17134), ("GFX_UHD", 17134), ("GFX_ARC", 19041), ("GFX_NV", 17763), ("GFX_AMD", 17763), ("AUD_RTK", 16299),
                     ("AUD_IDA", 17134), ("AUD_SST", 19041), ("WIFI_INTEL", 17134), ("BT_INTEL", 17134), ("MEI", 16299), ("DPTF", 17763),
                     ("NPU", 22000), ("ISH", 16299), ("CHIPSET", 16299), ("SERIALIO", 16299), ("TBT", 17134), ("VMD", 17763), ("GNA", 16299),
                     ("HIDEVT", 16299), ("PMT", 17763), ("CARD_RTK", 16299)]:
    PKGS[_key].ext = ".NTamd64.10.0...%d" % _build

TRANSLATIONS = {
    "fr": {
        "HID Keyboard Device": "Périphérique clavier HID",
        "HID-compliant mouse": "Souris HID",
        "HID-compliant consumer control device": "Périphérique de contrôle consommateur conforme HID",
        "HID-compliant system controller": "Contrôleur système conforme HID",
        "HID-compliant vendor-defined device": "Périphérique conforme HID défini par le fournisseur",
        "HID-compliant touch pad": "Pavé tactile HID",
        "USB Input Device": "Périphérique d’entrée USB",
        "USB Composite Device": "Périphérique USB composite",
        "USB Root Hub (USB 3.0)": "Concentrateur USB racine (USB 3.0)",
        "Generic USB Hub": "Concentrateur USB générique",
        "Generic SuperSpeed USB Hub": "Concentrateur USB SuperSpeed générique",
        "Standard NVM Express Controller": "Contrôleur NVM Express standard",
        "Volume": "Volume",
        "Motherboard resources": "Ressources de la carte mère",
        "Microsoft ACPI-Compliant System": "Système compatible ACPI Microsoft",
        "PCI Express Root Complex": "Complexe racine PCI Express",
        "High precision event timer": "Minuterie d’événements haute précision",
        "System timer": "Minuterie système",
        "Programmable interrupt controller": "Contrôleur d’interruption programmable",
        "System speaker": "Haut-parleur système",
        "System CMOS/real time clock": "Horloge système CMOS/temps réel",
        "Generic PnP Monitor": "Moniteur PnP générique",
        "Microsoft Basic Display Driver": "Pilote d’affichage de base Microsoft",
        "Audio Endpoint": "Point de terminaison audio",
        "Root Print Queue": "File d’attente d’impression racine",
        "Local Print Queue": "File d’attente d’impression locale",
        "ACPI Thermal Zone": "Zone thermique ACPI",
        "ACPI Power Button": "Bouton de mise en marche ACPI",
        "ACPI Lid": "Capot ACPI",
        "ACPI Sleep Button": "Bouton de mise en veille ACPI",
        "Trusted Platform Module 2.0": "Module de plateforme sécurisée 2.0",
        "Standard PS/2 Keyboard": "Clavier PS/2 standard",
        "USB Mass Storage Device": "Périphérique de stockage de masse USB",
        "Microsoft Bluetooth Enumerator": "Énumérateur Bluetooth Microsoft",
        "Microsoft Bluetooth LE Enumerator": "Énumérateur Bluetooth LE Microsoft",
        "Plug and Play Software Device Enumerator": "Énumérateur de périphériques logiciels Plug-and-Play",
        "Composite Bus Enumerator": "Énumérateur de bus composite",
        "Volume Manager": "Gestionnaire de volumes",
        "Remote Desktop Device Redirector Bus": "Bus redirecteur de périphérique Bureau à distance",
        "UMBus Root Bus Enumerator": "Énumérateur de bus racine UMBus",
        "Microsoft Virtual Drive Enumerator": "Énumérateur de lecteur virtuel Microsoft",
        "ACPI x64-based PC": "PC à base ACPI x64",
        "Microsoft AC Adapter": "Adaptateur secteur Microsoft",
        "Microsoft ACPI-Compliant Control Method Battery": "Batterie à méthode de contrôle compatible ACPI Microsoft",
        "Direct memory access controller": "Contrôleur d’accès direct à la mémoire",
        "PCI standard host CPU bridge": "Pont processeur hôte PCI standard",
        "PCI Express Root Port": "Port racine PCI Express",
        "Disk drive": "Lecteur de disque",
        "Generic volume shadow copy": "Cliché instantané de volume générique",
        "System Firmware": "Microprogramme système",
        "Microsoft Usbccid Smartcard Reader (WUDF)": "Lecteur de carte à puce Microsoft Usbccid (WUDF)",
        "Bluetooth Device (Personal Area Network)": "Périphérique Bluetooth (réseau personnel)",
        "Bluetooth Device (RFCOMM Protocol TDI)": "Périphérique Bluetooth (protocole RFCOMM TDI)",
    },
    "ja": {
        "HID Keyboard Device": "HID キーボード デバイス",
        "HID-compliant mouse": "HID 準拠マウス",
        "HID-compliant consumer control device": "HID 準拠コンシューマー制御デバイス",
        "HID-compliant system controller": "HID 準拠システム コントローラー",
        "HID-compliant vendor-defined device": "HID 準拠ベンダー定義デバイス",
        "HID-compliant touch pad": "HID 準拠タッチ パッド",
        "USB Input Device": "USB 入力デバイス",
        "USB Root Hub (USB 3.0)": "USB ルート ハブ (USB 3.0)",
        "Generic USB Hub": "汎用 USB ハブ",
        "Generic SuperSpeed USB Hub": "汎用 SuperSpeed USB ハブ",
        "Standard NVM Express Controller": "標準 NVM Express コントローラー",
        "Volume": "ボリューム",
        "Motherboard resources": "マザーボード リソース",
        "Microsoft ACPI-Compliant System": "Microsoft ACPI 準拠システム",
        "PCI Express Root Complex": "PCI Express ルート コンプレックス",
        "High precision event timer": "高精度イベント タイマー",
        "System timer": "システム タイマー",
        "Programmable interrupt controller": "プログラム可能な割り込みコントローラー",
        "System speaker": "システム スピーカー",
        "System CMOS/real time clock": "システム CMOS/リアル タイム クロック",
        "Generic PnP Monitor": "汎用 PnP モニター",
        "Audio Endpoint": "オーディオ エンドポイント",
        "Root Print Queue": "ルート印刷キュー",
        "Local Print Queue": "ローカル印刷キュー",
        "ACPI Thermal Zone": "ACPI 温度ゾーン",
        "ACPI Power Button": "ACPI 電源ボタン",
        "ACPI Lid": "ACPI ふた",
        "ACPI Sleep Button": "ACPI スリープ ボタン",
        "Trusted Platform Module 2.0": "トラステッド プラットフォーム モジュール 2.0",
        "Standard PS/2 Keyboard": "日本語 PS/2 キーボード (106/109 キー)",
        "USB Mass Storage Device": "USB 大容量記憶装置",
        "Microsoft Bluetooth Enumerator": "Microsoft Bluetooth 列挙子",
        "Microsoft Bluetooth LE Enumerator": "Microsoft Bluetooth LE 列挙子",
        "Plug and Play Software Device Enumerator": "プラグ アンド プレイ ソフトウェア デバイス列挙子",
        "Composite Bus Enumerator": "複合バス列挙子",
        "Volume Manager": "ボリューム マネージャー",
        "Remote Desktop Device Redirector Bus": "リモート デスクトップ デバイス リダイレクター バス",
        "UMBus Root Bus Enumerator": "UMBus ルート バス列挙子",
        "Microsoft Virtual Drive Enumerator": "Microsoft 仮想ドライブ列挙子",
        "ACPI x64-based PC": "ACPI x64 ベース PC",
        "Microsoft AC Adapter": "Microsoft AC アダプター",
        "Microsoft ACPI-Compliant Control Method Battery": "Microsoft ACPI 準拠コントロール メソッド バッテリ",
        "Direct memory access controller": "DMA コントローラー",
        "PCI standard host CPU bridge": "PCI 標準ホスト CPU ブリッジ",
        "PCI Express Root Port": "PCI Express ルート ポート",
        "Disk drive": "ディスク ドライブ",
        "Generic volume shadow copy": "汎用ボリューム シャドウ コピー",
        "System Firmware": "システム ファームウェア",
        "Bluetooth Device (Personal Area Network)": "Bluetooth デバイス (パーソナル エリア ネットワーク)",
        "Bluetooth Device (RFCOMM Protocol TDI)": "Bluetooth デバイス (RFCOMM プロトコル TDI)",
    },
}

OEMS = {
    # name: (subsystem vendor, hotkey package, ACPI ids of its own devices)
    "Dell": ("1028", "OEM_DELL", [("DELLABCE", "Dell Diag Control Device"), ("DELL0A1B", "Dell Power Manager Device")]),
    "HP": ("103C", "OEM_HOTKEY", [("HPQ6001", "HP Wireless Button Driver"), ("HPIC0003", "HP Application Driver")]),
    "Lenovo": ("17AA", "OEM_PM", [("LEN0068", "Lenovo Power Management"), ("LEN0268", "Lenovo Intelligent Thermal Solution")]),
}

INTEL_GENS = {
    # cpu family-6 model, processor names (threads), host bridge, integrated graphics, PCH
    # prefix, Wi-Fi (CNVi device, name, Bluetooth PID), audio kind, extras
    "cml-u": dict(model=166, cpus=[("Intel(R) Core(TM) i5-10310U CPU @ 1.70GHz", 8), ("Intel(R) Core(TM) i7-10610U CPU @ 1.80GHz", 8),
                                               ("Intel(R) Core(TM) i7-10810U CPU @ 1.10GHz", 12)],
                  host="9B61", gpu=("9B41", "Intel(R) UHD Graphics", "GFX_UHD"), pch="02", rev="00",
                  wifi=("02F0", "Intel(R) Wi-Fi 6 AX201 160MHz", "0026"), audio="hda", eth="0D4F", extras=["gna"]),
    "tgl": dict(model=140, cpus=[("11th Gen Intel(R) Core(TM) i5-1145G7 @ 2.60GHz", 8), ("11th Gen Intel(R) Core(TM) i7-1185G7 @ 3.00GHz", 8),
                                 ("11th Gen Intel(R) Core(TM) i7-11850H @ 2.50GHz", 16)],
                host="9A14", gpu=("9A49", "Intel(R) Iris(R) Xe Graphics", "GFX_XE"), pch="A0", rev="20",
                wifi=("A0F0", "Intel(R) Wi-Fi 6 AX201 160MHz", "0026"), audio="sst", eth="15FB", extras=["gna", "tbt", "dptf"]),
    "adl": dict(model=154, cpus=[("12th Gen Intel(R) Core(TM) i5-1245U", 12), ("12th Gen Intel(R) Core(TM) i7-1265U", 12),
                                 ("12th Gen Intel(R) Core(TM) i7-1270P", 16)],
                host="4621", gpu=("46A8", "Intel(R) Iris(R) Xe Graphics", "GFX_XE"), pch="51", rev="01",
                wifi=("51F0", "Intel(R) Wi-Fi 6E AX211 160MHz", "0033"), audio="sst", eth="1A1E", extras=["gna", "tbt", "dptf"]),
    "rpl": dict(model=186, cpus=[("13th Gen Intel(R) Core(TM) i5-1345U", 12), ("13th Gen Intel(R) Core(TM) i7-1365U", 12),
                                 ("13th Gen Intel(R) Core(TM) i7-1370P", 20)],
                host="A706", gpu=("A7A1", "Intel(R) Iris(R) Xe Graphics", "GFX_XE"), pch="51", rev="01",
                wifi=("51F1", "Intel(R) Wi-Fi 6E AX211 160MHz", "0033"), audio="sst", eth="1A1F", extras=["gna", "tbt", "dptf"]),
    "mtl": dict(model=170, cpus=[("Intel(R) Core(TM) Ultra 5 135U", 14), ("Intel(R) Core(TM) Ultra 7 165U", 14),
                                 ("Intel(R) Core(TM) Ultra 7 165H", 22)],
                host="7D01", gpu=("7D45", "Intel(R) Graphics", "GFX_ARC"), pch="7E", rev="04",
                wifi=("7E40", "Intel(R) Wi-Fi 7 BE200 320MHz", "0036"), audio="sst", eth="550A", extras=["npu", "tbt", "dptf"]),
    "cml-s": dict(model=165, cpus=[("Intel(R) Core(TM) i5-10500 CPU @ 3.10GHz", 12), ("Intel(R) Core(TM) i7-10700 CPU @ 2.90GHz", 16),
                                  ("Intel(R) Core(TM) i9-10900 CPU @ 2.80GHz", 20)],
                  host="9B53", gpu=("9BC8", "Intel(R) UHD Graphics 630", "GFX_UHD"), pch="06", rev="00",
                  wifi=None, audio="hda", eth="0D4C", extras=["gna", "sata"]),
    "adl-s": dict(model=151, cpus=[("12th Gen Intel(R) Core(TM) i5-12500", 12), ("12th Gen Intel(R) Core(TM) i7-12700", 20),
                                  ("12th Gen Intel(R) Core(TM) i9-12900", 24)],
                  host="4650", gpu=("4690", "Intel(R) UHD Graphics 770", "GFX_XE"), pch="7A", rev="11",
                  wifi=None, audio="hda", eth="1A1C", extras=["gna", "sata"]),
}

GEN_NAMES = {
    "cml-u": "10th Gen Intel(R) Core(TM) Processor", "cml-s": "Intel(R) 400 Series Chipset Family", "tgl": "11th Gen Intel(R) Core(TM) Processor",
    "adl": "12th Gen Intel(R) Core(TM) Processor", "adl-s": "Intel(R) 600 Series Chipset Family", "rpl": "13th Gen Intel(R) Core(TM) Processor",
    "mtl": "Intel(R) Core(TM) Ultra Processor",
}

DISKS = [
    ("144D", "A80A", "SAMSUNG MZVL2512HCJQ-00B07", "SAMSUNG_MZVL2512"),
    ("144D", "A80C", "SAMSUNG MZVL4512HBLU-00BL7", "SAMSUNG_MZVL4512"),
    ("1C5C", "174A", "SK hynix PC711 HFS512GDE9X073N", "SKHynix_HFS512GD"),
    ("1E0F", "0001", "KXG60ZNV512G KIOXIA", "KXG60ZNV512G_KIO"),
    ("15B7", "5017", "WD PC SN740 SDDPNQD-512G-1006", "WD_PC_SN740_SDDP"),
    ("1344", "5411", "Micron 2450 NVMe 512GB", "Micron_2450_NVMe"),
]

MONITORS = [
    ("DELA1F8", "DELL P2422H"), ("DELA0EC", "DELL U2419H"), ("DELD0E2", "DELL P2723DE"), ("DEL41A0", "DELL U2723QE"),
    ("HPN3584", "HP E24 G5"), ("HPN3660", "HP Z27k G3"), ("LEN62A8", "LEN T24i-30"), ("LEN61F4", "LEN T27h-2L"),
    ("SAM7143", "S24R35x"), ("GSM5BBF", "LG ULTRAFINE"), ("PHL0C4E", "PHL 243V7"), ("ENC2827", "EV2495"),
    ("BNQ7F55", "BenQ GW2480"), ("IVM6645", "PL2492H"),
]

NAMES = ["Zoë", "Jérôme", "Hélène", "François", "Anaïs", "Björn", "Søren", "Łukasz", "Ana", "Tom", "Priya", "Chen",
         "田中", "佐藤", "鈴木", "Mike", "Sarah", "Ines", "Noël", "Ren"]
BT_THINGS = [("AirPods Pro", "0001004C", "2014"), ("Jabra Evolve2 65", "00020B0E", "24C9"), ("WH-1000XM4", "0002054C", "0D58"),
             ("Bose QC45", "0001009E", "4020"), ("Galaxy Buds2 Pro", "00010075", "A013"), ("MX Master 3S", "0002046D", "B034"),
             ("Keyboard K380", "0002046D", "B342"), ("iPhone", "0001004C", "7305"), ("Pixel 8", "000100E0", "1A2B")]
QUEUES = {
    "en": ["\\\\PRINT01\\Floor2-Color", "\\\\PRINT01\\Floor3-Mono", "HR LaserJet M507 [tray=2]", "\\\\PRINT02\\Finance Follow-Me"],
    "fr": ["\\\\IMPR-PARIS\\Étage 2 Couleur", "Étiquettes Zebra ZD421 (format=100x150)", "\\\\IMPR-LYON\\Accueil réception"],
    "ja": ["\\\\PRT-TYO\\営業部 カラー複合機", "総務課 モノクロ (東京本社 3F)", "\\\\PRT-OSA\\大阪支店 A3=両面"],
}
SERIAL_USB = [
    # vid, pid, rev, description, USBSTOR vendor/product (for mass storage), volume label
    ("0781", "5583", "0100", "USB Mass Storage Device", ("SanDisk", "Ultra_Fit", "1.00"), "SanDisk Ultra Fit USB Device"),
    ("0951", "1666", "0110", "USB Mass Storage Device", ("Kingston", "DataTraveler_3.0", ""), "Kingston DataTraveler 3.0 USB Device"),
    ("090C", "1000", "1100", "USB Mass Storage Device", ("Samsung", "Flash_Drive_FIT", "1100"), "Samsung Flash Drive FIT USB Device"),
    ("13FE", "6300", "0100", "USB Mass Storage Device", ("", "USB_DISK_3.0", "PMAP"), " USB DISK 3.0 USB Device"),
]


NO_DRIVER_PCI = {  # what Windows calls a PCI device it has no driver for, by class
    "0C05": "SM Bus Controller", "1180": "PCI Data Acquisition and Signal Processing Controller", "0780": "PCI Simple Communications Controller",
    "0500": "PCI standard RAM Controller", "0880": "Base System Device", "0401": "Multimedia Audio Controller",
    "0403": "High Definition Audio Controller", "0C03": "Universal Serial Bus (USB) Controller", "0280": "Network Controller",
    "0200": "Ethernet Controller", "0300": "Video Controller (VGA Compatible)", "0C80": "PCI Serial Bus Controller",
    "0104": "RAID Controller", "1200": "Processing Accelerator", "0480": "Multimedia Device", "1080": "Encryption Controller",
}


SOFTWARE_COMPONENTS = [
    "Intel(R) Platform Monitoring Technology", "Dolby Audio X2 Component", "Dell Optimizer Service", "HP Application Enabling Software Driver",
    "Lenovo Vantage Service", "Intel(R) Connectivity Performance Suite", "Killer Intelligence Center", "Intel(R) Unison Component",
    "Realtek Audio Console", "Poly Lens Control Service", "Intel(R) Context Sensing Service", "Intel(R) Graphics Telemetry Component",
    "Dell SupportAssist Remediation", "HP Hotkey UWP Service", "Lenovo System Interface Foundation", "Intel(R) Wireless Telemetry Component",
    "Waves Audio Effects Component", "Intel(R) Computing Improvement Program", "Synaptics Audio Effects Component",
    "Intel(R) Serial IO Telemetry Component", "Intel(R) Platform Trust Technology Extension", "Dell Peripheral Manager Component",
    "HP Analytics Component", "Lenovo Smart Standby Component", "Microsoft Studio Effects Component",
]
PCH_FUNCTIONS = [
    "Intel(R) Processor Thermal Subsystem", "Intel(R) Trace Hub", "Intel(R) Processor Telemetry", "Intel(R) Crashlog",
    "Intel(R) GPIO Controller", "Intel(R) Processor Watchdog Timer", "Intel(R) Camera Sensor Bridge", "Intel(R) Processor Uncore Registers",
    "Intel(R) PCH Shared SRAM", "Intel(R) Host Bridge/DRAM Registers", "Intel(R) Processor Power Management", "Intel(R) Memory Controller",
    "Intel(R) Integrated Clock Controller", "Intel(R) Processor Debug Registers", "Intel(R) Performance Monitoring", "Intel(R) PMC Telemetry",
    "Intel(R) Sideband Fabric", "Intel(R) Primary to Sideband Bridge", "Intel(R) Gaussian & Neural Accelerator", "Intel(R) Display Engine Registers",
]


AMD_FUNCTIONS = [
    "AMD Crypto Coprocessor", "AMD SFH I2C Controller", "AMD Sensor Fusion Hub", "AMD PMF Device", "AMD IPU Device",
    "AMD PCIe Dummy Function", "AMD USB4 Host Router", "AMD Power Management Controller", "AMD MicroPEP Controller",
    "AMD Fabric Controller", "AMD Performance Monitor", "AMD Debug Controller",
]
NO_DRIVER_CLASSES = {CLS[c] for c in ("system", "media", "security", "hid", "biometric", "swcomponent", "sensor", "accelerator", "ports")}


RENAMED_CLASSES = {CLS[c] for c in ("net", "disk", "monitor", "bluetooth", "printqueue", "audioendpoint", "wpd", "camera")}


def h32(text):
    """The 8-digit hash Windows puts in the instance ids of children, here from the parent's id."""
    return "%X" % zlib.crc32(text.encode())


def guid(rng):
    v = rng.getrandbits(128)
    s = "%032x" % v
    return "{%s-%s-%s-%s-%s}" % (s[:8], s[8:12], s[12:16], s[16:20], s[20:])


def ib(inf, ddesc, match, ext=".NTamd64", date=None):
    return ("ib", inf, ddesc, match, ext, date)


def pk(key, ddesc, match):
    return ("pk", key, ddesc, match)


def slot(iid, desc, cls, hwids, cids, plan):
    return (iid, desc, CLS[cls] if cls else None, tuple(hwids), tuple(cids), plan)


def sort_key(iid):
    # Windows lists devices as the registry holds them: enumerator, device, instance,
    # each compared without regard to case.
    return tuple(iid.upper().split("\\", 2))


# --- devices by bus -------------------------------------------------------------------


def pci(ven, dev, subsys, rev, cc, loc, desc, cls, plan, parent="3&11583659&0", match="dev"):
    base = f"PCI\\VEN_{ven}&DEV_{dev}"
    iid = f"{base}&SUBSYS_{subsys}&REV_{rev}\\{parent}&{loc}"
    hwids = [f"{base}&SUBSYS_{subsys}&REV_{rev}", f"{base}&SUBSYS_{subsys}", f"{base}&CC_{cc}", f"{base}&CC_{cc[:4]}"]
    cids = [f"{base}&REV_{rev}", base, f"PCI\\VEN_{ven}&CC_{cc}", f"PCI\\VEN_{ven}&CC_{cc[:4]}", f"PCI\\VEN_{ven}", f"PCI\\CC_{cc}"]
    if plan is not None and plan[0] in ("ib", "pk") and plan[3] is None:
        m = {"dev": cids[1], "sub": hwids[1], "cc": cids[5], "rev": cids[0]}[match].lower()
        plan = plan[:3] + (m,) + plan[4:]
    return slot(iid, desc, cls, hwids, cids, plan)


def acpi(hid, inst, desc, cls, plan, cids=()):
    hwids = [f"ACPI\\{hid}", f"*{hid}"]
    pnp = re.match(r"^([A-Z]{3,4})([0-9A-F]{4})$", hid)
    if pnp:  # a PNP-style id is also given split into vendor and device
        hwids.insert(0, f"ACPI\\VEN_{pnp.group(1)}&DEV_{pnp.group(2)}")
    if plan is not None and plan[0] in ("ib", "pk") and plan[3] is None:
        plan = plan[:3] + (f"acpi\\{hid.lower()}",) + plan[4:]
    return slot(f"ACPI\\{hid}\\{inst}", desc, cls, hwids, cids, plan)


def child_depth(parent_iid, default):
    """Children's instance ids start with their depth in the device tree: one more than
    the parent's when the parent's id has one."""
    head = parent_iid.rsplit("\\", 1)[-1].split("&", 1)[0]
    return int(head) + 1 if head.isdigit() and "&" in parent_iid.rsplit("\\", 1)[-1] else default


HID_KINDS = {
    "keyboard": ("UP:0001_U:0006", "HID_DEVICE_SYSTEM_KEYBOARD", "keyboard", "keyboard.inf", "HID Keyboard Device", "hid_device_system_keyboard"),
    "mouse": ("UP:0001_U:0002", "HID_DEVICE_SYSTEM_MOUSE", "mouse", "msmouse.inf", "HID-compliant mouse", "hid_device_system_mouse"),
    "consumer": ("UP:000C_U:0001", None, "hid", "hidserv.inf", "HID-compliant consumer control device", "hid_device_up:000c_u:0001"),
    "system": ("UP:0001_U:0080", "HID_DEVICE_SYSTEM_CONTROL", "hid", "machine.inf", "HID-compliant system controller", "hid_device_system_control"),
    "vendor": ("UP:FF00_U:0001", None, "hid", "input.inf", "HID-compliant vendor-defined device", "hid_device"),
    "touchpad": ("UP:000D_U:0005", None, "hid", "input.inf", "HID-compliant touch pad", "hid_device_up:000d_u:0005"),
    "touchscreen": ("UP:000D_U:0004", None, "hid", "input.inf", "HID-compliant touch screen", "hid_device_up:000d_u:0004"),
    "sensor": ("UP:0020_U:0001", None, "sensor", "sensorshid.inf", "HID Sensor Collection V2", "hid_device_up:0020_u:0001"),
}


def hid_collection(parent_iid, base, rev, col, kind, vid):
    """One HID top-level collection of the device `base` (VID_xxxx&PID_yyyy[&MI_nn], or an
    ACPI id); kind picks its usage page and driver."""
    usage, system, cls, inf, desc, match = HID_KINDS[kind]
    suffix = f"&Col{col:02d}" if col else ""
    iid = f"HID\\{base}{suffix.upper()}\\{child_depth(parent_iid, 3)}&{h32(parent_iid)}&0&{col - 1 if col else 0:04d}"
    hwids = [f"HID\\{base}&REV_{rev}{suffix}" if rev else f"HID\\{base}{suffix}", f"HID\\{base}{suffix}", f"HID\\{vid}&{usage}"]
    if system:
        hwids.append(system)
    hwids += [f"HID_DEVICE_{usage}", "HID_DEVICE"]
    return slot(iid, desc, cls, hwids[:6], (), ib(inf, desc, match, ".NT" if inf == "machine.inf" else ".NTamd64"))


def usb_composite(vid, pid, rev, inst, desc="USB Composite Device"):
    base = f"USB\\VID_{vid}&PID_{pid}"
    return slot(f"{base}\\{inst}", desc, "usb", [f"{base}&REV_{rev}", base],
                ["USB\\DevClass_00&SubClass_00&Prot_00", "USB\\DevClass_00&SubClass_00", "USB\\DevClass_00", "USB\\COMPOSITE"],
                ib("usb.inf", "USB Composite Device", "usb\\composite", ".NT"))


def usb_iface(parent_iid, vid, pid, rev, mi, cls_codes, desc, cls, plan):
    base = f"USB\\VID_{vid}&PID_{pid}&MI_{mi:02d}"
    iid = f"{base}\\{child_depth(parent_iid, 6)}&{h32(parent_iid)}&0&{mi:04d}"
    c, s, p = cls_codes
    return slot(iid, desc, cls, [f"USB\\VID_{vid}&PID_{pid}&REV_{rev}&MI_{mi:02d}", base],
                [f"USB\\Class_{c}&SubClass_{s}&Prot_{p}", f"USB\\Class_{c}&SubClass_{s}", f"USB\\Class_{c}"], plan)


def usb_device(vid, pid, rev, inst, desc, cls, cls_codes, plan):
    base = f"USB\\VID_{vid}&PID_{pid}"
    c, s, p = cls_codes
    return slot(f"{base}\\{inst}", desc, cls, [f"{base}&REV_{rev}", base],
                [f"USB\\Class_{c}&SubClass_{s}&Prot_{p}", f"USB\\Class_{c}&SubClass_{s}", f"USB\\Class_{c}"], plan)


def input_device(parent_iid, vid, pid, rev, mi, protocol, collections):
    """A USB HID interface (mi) or a whole HID device (mi None) and its collections; a
    device of one collection has no ColNN."""
    out = []
    base = f"VID_{vid}&PID_{pid}"
    if mi is not None:
        iface = usb_iface(parent_iid, vid, pid, rev, mi, ("03", "01" if protocol else "00", "%02d" % protocol),
                          "USB Input Device", "hid", ib("input.inf", "USB Input Device", "usb\\class_03"))
        out.append(iface)
        parent_iid = iface[0]
        base += f"&MI_{mi:02d}"
    return out + hid_collections(parent_iid, base, rev, collections, f"VID_{vid}")


def hid_collections(parent_iid, base, rev, collections, vid):
    if len(collections) == 1:
        return [hid_collection(parent_iid, base, rev, 0, collections[0], vid)]
    return [hid_collection(parent_iid, base, rev, n, kind, vid) for n, kind in enumerate(collections, 1)]


def processor_slots(vendor, family, model, name, threads):
    arch = "Intel64" if vendor == "GenuineIntel" else "AMD64"
    full = f"{vendor}_-_{arch}_Family_{family}_Model_{model}_-_{name.replace(' ', '_')}"
    short = f"{vendor}_-_{arch}_Family_{family}_Model_{model}"
    fam = f"{vendor}_-_{arch}_Family_{family}"
    hwids = [f"ACPI\\{full}", f"*{full}", f"ACPI\\{short}", f"*{short}", f"ACPI\\{fam}", f"*{fam}"]
    cids = [f"ACPI\\{vendor}_-_{arch}", f"*{vendor}_-_{arch}"]
    drv = ib("cpu.inf", "Intel Processor" if vendor == "GenuineIntel" else "AMD Processor",
             f"acpi\\{vendor.lower()}_-_{arch.lower()}", ".NT")
    return [slot(f"ACPI\\{full}\\_{n}", name, "processor", hwids, cids, drv) for n in range(threads)]


def swc(model_tag, key, name, pkg_key, ven="8086"):
    """A software component that a driver package adds."""
    aid = "%04X" % (zlib.crc32(name.encode()) & 0xFFFF)
    iid = f"SWD\\DRIVERENUM\\{guid(random.Random(key))}#{key}&{child_depth(model_tag, 4)}&{h32(model_tag + key)}&0"
    hw = f"SWC\\VEN_{ven}&AID_{aid}"
    return slot(iid, name, "swcomponent", [f"{hw}&SUBSYS_{model_tag}", hw], [], pk(pkg_key, name, hw.lower()))


# --- models ---------------------------------------------------------------------------


class Model:
    """One hardware model: the devices its machines share, and what varies between them."""

    def __init__(self, index, seed, devices, kind):
        self.index = index
        self.kind = kind
        rng = random.Random(f"{seed}:model:{index}")
        self.rng = rng
        self.slots = []          # devices every machine of the model has
        self.alts = []           # [(weights, [option slot lists])]: one option per machine
        self.server = kind in ("server", "vmware")
        self.laptop = kind.startswith("laptop")
        self.vm = kind in ("vmware", "hyperv")
        self.oem_name = "Dell" if kind == "server" else rng.choice(sorted(OEMS))
        vendor = OEMS[self.oem_name][0]
        self.subsys = "%04X%s" % (rng.randrange(0x0100, 0x0FFF), vendor)
        self.tag = self.subsys
        self.pkgs = dict(PKGS)
        self.usb_roots = []      # (root hub id, free ports) for keyboards, mice, docks
        self.monitor_uids = ["UID4352", "UID4353"] if not self.laptop else ["UID4354", "UID4355"]
        self.ja = 0.35 if index % 11 == 7 else 0.0
        self.fr = 0.35 if index % 13 == 4 else 0.0
        self.os_mix = {"laptop-cml-u": {"19045": 6, "22631": 4}, "desktop-cml-s": {"19045": 6, "22631": 4},
                       "laptop-mtl": {"22631": 5, "26100": 5}, "server": {"20348": 7, "17763": 3},
                       "vmware": {"20348": 6, "17763": 4}, "hyperv": {"22631": 7, "26100": 3}}.get(
            kind, {"19045": 2, "22631": 7, "26100": 1})
        # this model's BIOS releases, oldest first
        dates = sorted("%d-%02d-%02d" % (rng.randrange(2022, 2025), rng.randrange(1, 13), rng.randrange(1, 29)) for _ in range(4))
        bios = [(date, "1.%d.%d.0" % (10 + 3 * n + rng.randrange(3), rng.randrange(3)), w) for n, (date, w) in enumerate(zip(dates, [1, 2, 4, 3]))]
        self.pkgs["BIOS"] = Pkg(self.oem_name if not self.vm else "Microsoft", bios, ext=None)
        build = {"server": self._server, "vmware": self._vmware, "hyperv": self._hyperv}.get(kind, self._client)
        build(rng)
        self._common(rng)
        self._fit(rng, devices)
        self._number_infs(rng)
        self.relw = {}
        for key, p in self.pkgs.items():
            w = [r[2] for r in p.releases]
            w[rng.randrange(len(w))] *= 3  # this model's image ships one release more often
            self.relw[key] = w
        self.slots.sort(key=lambda s: sort_key(s[0]))

    # Machines: the PCI tree and everything behind it.
    def _client(self, rng):
        kind = self.kind
        gen_name = kind.split("-", 1)[1] if "-" in kind else "tgl"
        if gen_name == "nvidia":
            gen_name = "adl" if self.laptop else "adl-s"
        if kind == "laptop-amd":
            return self._amd(rng)
        g = INTEL_GENS[gen_name]
        S, rev, P = self.subsys, g["rev"], g["pch"]
        add = self.slots.append
        cpu_opts = sorted(rng.sample(g["cpus"], 2), key=lambda c: c[1])
        self.alts.append(([6, 4], [processor_slots("GenuineIntel", 6, g["model"], n, t) for n, t in cpu_opts]))
        self.family_name = GEN_NAMES[gen_name]
        name = f"{self.family_name} Host Bridge/DRAM Registers - {g['host']}"
        add(pci("8086", g["host"], S, "02", "060000", "00", name, "system", pk("CHIPSET", name, None)))
        gdev, gname, gpkg = g["gpu"]
        add(pci("8086", gdev, S, "01", "030000", "10", gname, "display", pk(gpkg, gname, None), match="dev"))
        add(pci("8086", P + "ED", S, rev, "0C0330", "A0", "Intel(R) USB 3.10 eXtensible Host Controller - 1.20 (Microsoft)",
                "usb", ib("usbxhci.inf", "USB xHCI Compliant Host Controller", None), match="cc"))
        add(pci("8086", P + "EF", S, rev, "050000", "A2", f"Intel(R) Shared SRAM - {P}EF", "system",
                pk("CHIPSET", f"Intel(R) Shared SRAM - {P}EF", None)))
        add(pci("8086", P + "E0", S, rev, "078000", "B0", "Intel(R) Management Engine Interface #1", "system",
                pk("MEI", "Intel(R) Management Engine Interface #1", None)))
        add(pci("8086", P + "A3", S, rev, "0C0500", "FC", f"Intel(R) SMBus - {P}A3", "system", pk("CHIPSET", f"Intel(R) SMBus - {P}A3", None)))
        add(pci("8086", P + "A4", S, rev, "0C8000", "FD", f"Intel(R) SPI (flash) Controller - {P}A4", "system",
                pk("CHIPSET", f"Intel(R) SPI (flash) Controller - {P}A4", None)))
        add(pci("8086", P + "82", S, rev, "060100", "F8", f"Intel(R) LPC Controller/eSPI Controller - {P}82", "system",
                pk("CHIPSET", f"Intel(R) LPC Controller/eSPI Controller - {P}82", None)))
        if g["eth"]:
            name = rng.choice(["Intel(R) Ethernet Connection (13) I219-LM", "Intel(R) Ethernet Connection (16) I219-LM",
                               "Intel(R) Ethernet Connection I219-V"])
            add(pci("8086", g["eth"], S, rev, "020000", "FE", name, "net", pk("ETH_I219", name, None), match="sub"))
        for n, (suf, loc) in enumerate([("E8", "A8"), ("E9", "A9")]):
            name = f"Intel(R) Serial IO I2C Host Controller - {P}{suf}"
            add(pci("8086", P + suf, S, rev, "0C8000", loc, name, "system", pk("SERIALIO", name, None)))
        ports = [("B8", "E0", 1), ("BC", "E4", 5), ("B0", "E8", 9), ("BE", "EC", 7)]
        for suf, loc, num in ports[: 3 if self.laptop else 4]:
            name = f"Intel(R) PCI Express Root Port #{num} - {P}{suf}"
            add(pci("8086", P + suf, S, rev, "060400", loc, name, "system", pk("CHIPSET", name, None)))
        if g["audio"] == "sst":
            add(pci("8086", P + "C8", S, rev, "040100", "FB", "Intel® Smart Sound Technology BUS", "system",
                    pk("AUD_SST", "Intel® Smart Sound Technology BUS", None), match="sub"))
            sst = f"INTELAUDIO\\CTLR_DEV_{P}C8&LINKTYPE_{{lt}}&DEVTYPE_{{dt}}&VEN_8086&DEV_AE20&SUBSYS_{S}&REV_10F0"
            for lt, dt, name in [("02", "00", "Intel® Smart Sound Technology for Digital Microphones"),
                                 ("06", "00", "Intel® Smart Sound Technology for Bluetooth® Audio"),
                                 ("04", "00", "Intel® Smart Sound Technology for USB Audio")]:
                hw = sst.format(lt=lt, dt=dt)
                iid = f"{hw}\\5&{h32(S + lt)}&0&{lt}00"
                add(slot(iid, name, "media", [hw, hw.rsplit("&", 1)[0]], [hw.split("&VEN_")[0]], pk("AUD_SST", name, hw.rsplit("&", 1)[0].lower())))
            codec = rng.choice(["0257", "0236", "0295", "0287"])
            hw = f"INTELAUDIO\\FUNC_01&VEN_10EC&DEV_{codec}&SUBSYS_{S}&REV_1000"
            add(slot(f"{hw}\\5&{h32(S + 'codec')}&0&0001", "Realtek(R) Audio", "media",
                     [hw, hw.rsplit("&", 1)[0]], [f"INTELAUDIO\\FUNC_01&VEN_10EC&DEV_{codec}&REV_1000", f"INTELAUDIO\\FUNC_01&VEN_10EC&DEV_{codec}",
                                                  "INTELAUDIO\\FUNC_01&VEN_10EC", "INTELAUDIO\\FUNC_01"],
                     pk("AUD_RTK", "Realtek(R) Audio", hw.rsplit("&", 1)[0].lower())))
            hw = f"INTELAUDIO\\FUNC_01&VEN_8086&DEV_2812&SUBSYS_80860101&REV_1000"
            add(slot(f"{hw}\\5&{h32(S + 'ida')}&0&0201", "Intel(R) Display Audio", "media", [hw, hw.rsplit("&", 1)[0]],
                     ["INTELAUDIO\\FUNC_01&VEN_8086&DEV_2812&REV_1000", "INTELAUDIO\\FUNC_01&VEN_8086&DEV_2812", "INTELAUDIO\\FUNC_01&VEN_8086",
                      "INTELAUDIO\\FUNC_01"], pk("AUD_IDA", "Intel(R) Display Audio", hw.rsplit("&", 1)[0].lower())))
        else:
            add(pci("8086", P + "C8", S, rev, "040300", "FB", "High Definition Audio Controller", "system",
                    ib("hdaudbus.inf", "High Definition Audio Controller", None), match="cc"))
            codec = rng.choice(["0236", "0269", "0255"])
            hw = f"HDAUDIO\\FUNC_01&VEN_10EC&DEV_{codec}&SUBSYS_{S}&REV_1000"
            add(slot(f"{hw}\\4&{h32(S + 'codec')}&0&0001", "Realtek(R) Audio", "media", [hw, hw.rsplit("&", 1)[0]],
                     [f"HDAUDIO\\FUNC_01&VEN_10EC&DEV_{codec}&REV_1000", f"HDAUDIO\\FUNC_01&VEN_10EC&DEV_{codec}", "HDAUDIO\\FUNC_01&VEN_10EC",
                      "HDAUDIO\\FUNC_01"], pk("AUD_RTK", "Realtek(R) Audio", hw.rsplit("&", 1)[0].lower())))
            hw = "HDAUDIO\\FUNC_01&VEN_8086&DEV_280B&SUBSYS_80860101&REV_1000"
            add(slot(f"{hw}\\4&{h32(S + 'ida')}&0&0201", "Intel(R) Display Audio", "media", [hw, hw.rsplit("&", 1)[0]],
                     ["HDAUDIO\\FUNC_01&VEN_8086&DEV_280B&REV_1000", "HDAUDIO\\FUNC_01&VEN_8086&DEV_280B", "HDAUDIO\\FUNC_01&VEN_8086",
                      "HDAUDIO\\FUNC_01"], pk("AUD_IDA", "Intel(R) Display Audio", hw.rsplit("&", 1)[0].lower())))
        if "gna" in g["extras"]:
            add(pci("8086", "%04X" % (int(g["host"], 16) - 3), S, "01", "088000", "40", "Intel(R) GNA Scoring Accelerator module",
                    "system", pk("GNA", "Intel(R) GNA Scoring Accelerator module", None)))
        if "npu" in g["extras"]:
            add(pci("8086", "7D1D", S, "04", "120000", "58", "Intel(R) AI Boost", "accelerator", pk("NPU", "Intel(R) AI Boost", None)))
        if "dptf" in g["extras"]:
            name = "Intel(R) Innovation Platform Framework Processor Participant"
            add(pci("8086", "%04X" % (int(g["host"], 16) + 0x0F), S, "01", "118000", "20", name, "system", pk("DPTF", name, None)))
            add(acpi("INTC1040", "0", "Intel(R) Innovation Platform Framework Manager", "system",
                     pk("DPTF", "Intel(R) Innovation Platform Framework Manager", None)))
            for n in range(rng.randrange(3, 7)):
                add(acpi("INTC1043", f"TSR{n}", "Intel(R) Innovation Platform Framework Generic Participant", "system",
                         pk("DPTF", "Intel(R) Innovation Platform Framework Generic Participant", None)))
        if "tbt" in g["extras"]:
            d = "%04X" % (int(g["host"], 16) + 0x07)
            add(pci("8086", d, S, "01", "0C0340", "68", f"Thunderbolt(TM) Controller - {d}", "system", pk("TBT", f"Thunderbolt(TM) Controller - {d}", None)))
            d2 = "%04X" % (int(g["host"], 16) - 1)
            add(pci("8086", d2, S, "01", "0C0330", "6A", "Intel(R) USB 3.10 eXtensible Host Controller - 1.20 (Microsoft)", "usb",
                    ib("usbxhci.inf", "USB xHCI Compliant Host Controller", None), match="cc"))
            for n, loc in enumerate(["38", "39"]):
                d3 = "%04X" % (int(g["host"], 16) + 0x0F + n * 2)
                name = f"Intel(R) PCI Express Root Port #{n + 9} - {d3}"
                add(pci("8086", d3, S, "01", "060400", loc, name, "system", pk("CHIPSET", name, None)))
            self.usb_roots.append(self._root_hub(g["host"], d2, rng))
        if "sata" in g["extras"]:
            add(pci("8086", P + "D3", S, rev, "010601", "B8", "Standard SATA AHCI Controller", "hdc",
                    ib("mshdc.inf", "Standard SATA AHCI Controller", None), match="cc"))
        self.usb_roots.insert(0, self._root_hub(P + "ED", P + "ED", rng))
        # behind the root ports
        self._nvme(rng, "4&%s&0&00E8" % h32(S + "rp9"))
        if self.laptop and rng.random() < 0.6:
            bridge = "4&%s&0&00E0" % h32(S + "rp1")
            add(pci("10EC", "525A", S, "01", "FF0000", "00", "Realtek PCIE CardReader", "mtd",
                    pk("CARD_RTK", "Realtek PCIE CardReader", None), parent=bridge.rsplit("&", 1)[0], match="sub"))
        if kind.endswith("nvidia"):
            gpu = rng.choice([("25B8", "NVIDIA RTX A2000 Laptop GPU"), ("25BA", "NVIDIA RTX A1000 Laptop GPU")] if self.laptop else
                             [("2531", "NVIDIA RTX A2000"), ("24B0", "NVIDIA RTX A4000")])
            parent = "4&%s&0" % h32(S + "peg")
            add(pci("10DE", gpu[0], S, "A1", "030000", "0008", gpu[1], "display", pk("GFX_NV", gpu[1], None), parent=parent))
            if not self.laptop:
                add(pci("10DE", "228E", S, "A1", "040300", "0108", "High Definition Audio Controller", "media",
                        ib("hdaudbus.inf", "High Definition Audio Controller", None), parent=parent, match="cc"))
                hw = f"HDAUDIO\\FUNC_01&VEN_10DE&DEV_009F&SUBSYS_{S}&REV_1001"
                add(slot(f"{hw}\\5&{h32(S + 'nvhda')}&0&0001", "NVIDIA High Definition Audio", "media", [hw, hw.rsplit('&', 1)[0]],
                         ["HDAUDIO\\FUNC_01&VEN_10DE&DEV_009F&REV_1001", "HDAUDIO\\FUNC_01&VEN_10DE&DEV_009F", "HDAUDIO\\FUNC_01&VEN_10DE",
                          "HDAUDIO\\FUNC_01"], pk("GFX_NV", "NVIDIA High Definition Audio", hw.rsplit('&', 1)[0].lower())))
        if not self.laptop and rng.random() < 0.3:
            add(pci("10EC", "8168", "%04X10EC" % rng.randrange(0x100, 0xFFF), "15", "020000", "00", "Realtek PCIe GbE Family Controller",
                    "net", pk("ETH_RTK", "Realtek PCIe GbE Family Controller", None), parent="4&%s&0" % h32(S + "rp5"), match="rev"))
        if g["wifi"]:
            wdev, wname, bpid = g["wifi"]
            add(pci("8086", wdev, "0244" + "8086", rev, "028000", "A3", wname, "net", pk("WIFI_INTEL", wname, None), match="sub"))
            wfd = "{5d624f94-8850-40c3-a3fa-a4fd2080baf3}\\vwifimp_wfd"
            for n in range(2):
                name = "Microsoft Wi-Fi Direct Virtual Adapter" + (" #2" if n else "")
                add(slot(f"{wfd}\\5&{h32(S + 'wfd')}&0&{11 + n}", name, "net", [wfd], [], ib("netvwifimp.inf", "Microsoft Wi-Fi Direct Virtual Adapter", wfd.lower())))
        host = int(g["host"], 16)
        for suf, cc, loc, name, key in [("A8", "078000", "F0", "Intel(R) Serial IO UART Host Controller - {d}", "SERIALIO"),
                                        ("AA", "0C8000", "F2", "Intel(R) Serial IO SPI Host Controller - {d}", "SERIALIO"),
                                        ("EA", "0C8000", "AA", "Intel(R) Serial IO I2C Host Controller - {d}", "SERIALIO"),
                                        ("FC", "000000", "90", "Intel(R) Integrated Sensor Solution - {d}", "ISH"),
                                        ("A1", "058000", "F9", "Intel(R) Power Management Controller - {d}", "CHIPSET")]:
            if rng.random() < 0.75:
                d = P + suf
                add(pci("8086", d, S, rev, cc, loc, name.format(d=d), "system", pk(key, name.format(d=d), None)))
        for off, cc, loc, name, key in [(0x0D - 0x14, "118000", "50", "Intel(R) Platform Monitoring Technology (PMT) Driver", "PMT"),
                                        (-0x09, "010400", "70", "Intel RST VMD Controller {d}", "VMD")]:
            if rng.random() < 0.6:
                d = "%04X" % (host + off)
                add(pci("8086", d, S, "01", cc, loc, name.format(d=d), "scsi" if key == "VMD" else "system", pk(key, name.format(d=d), None)))
        if "tbt" in g["extras"]:
            for n in range(2):
                hw = f"USB4\\ROOT_DEVICE_ROUTER&VID_8087&PID_{host + 7:04X}"
                add(slot(f"USB4\\ROOT_DEVICE_ROUTER\\5&{h32(S + 'usb4')}&0&{n}", "USB4(TM) Root Device Router", "usb", [hw, "USB4\\ROOT_DEVICE_ROUTER"], [],
                         ib("usb4devicerouter.inf", "USB4(TM) Root Device Router", "usb4\\root_device_router")))
        if not self.laptop:
            self._desktop(rng, P, S, rev)
        if self.laptop:
            for n in range(rng.randrange(1, 4)):
                add(slot(f"UCMUCSI\\CONNECTOR\\{n}", "USB Type-C Connector", "ucm", ["UCMUCSI\\CONNECTOR"], [],
                         ib("ucmucsicx.inf", "USB Type-C Connector", "ucmucsi\\connector")))
        self._acpi_platform(rng, intel=True)
        self._usb_internal(rng, g["wifi"][2] if g["wifi"] else None)

    def _desktop(self, rng, P, S, rev):
        """What a desktop has and a laptop hasn't: serial ports, SATA drives, a card reader, front hubs."""
        add = self.slots.append
        add(pci("8086", P + "E3", S, rev, "070002", "B3", "Intel(R) Active Management Technology - SOL (COM3)", "ports",
                pk("MEI", "Intel(R) Active Management Technology - SOL", None)))
        add(acpi("PNP0501", "1", "Communications Port (COM1)", "ports", ib("msports.inf", "Communications Port", "*pnp0501")))
        sata = "4&%s&0" % h32(S + "sata")
        if rng.random() < 0.5:
            model, fw = rng.choice([("ST1000DM010-2EP102", "CC46"), ("WDC_WD10EZEX-08WN4A0", "01.01A01"), ("TOSHIBA_DT01ACA100", "MS2OA750")])
            add(slot(f"SCSI\\Disk&Ven_&Prod_{model[:16]}\\{sata}&010000", model.replace("_", " "), "disk",
                     [f"SCSI\\Disk{model[:16]}{fw[:4]}", f"SCSI\\Disk{model[:16]}", "SCSI\\Disk", f"SCSI\\{model[:16]}{fw[:1]}",
                      f"{model[:16]}{fw[:1]}", "GenDisk"], ["SCSI\\Disk", "SCSI\\RAW"], ib("disk.inf", "Disk drive", "gendisk")))
        if rng.random() < 0.4:
            add(slot(f"SCSI\\CdRom&Ven_hp&Prod_DVD-RW_DUB0N\\{sata}&020000", "hp DVD-RW DUB0N", "cdrom",
                     ["SCSI\\CdRomhp______DVD-RW_DUB0N___UH00", "SCSI\\CdRomhp______DVD-RW_DUB0N___", "SCSI\\CdRomhp______",
                      "SCSI\\hp______DVD-RW_DUB0N___U", "hp______DVD-RW_DUB0N___U", "GenCdRom"], ["SCSI\\CdRom", "SCSI\\RAW"],
                     ib("cdrom.inf", "CD-ROM Drive", "gencdrom")))
        root = f"USB\\ROOT_HUB30\\4&{h32(self.tag + P + 'ED')}&0&0"
        for n, (pid, name, inf, proto) in enumerate([("0610", "Generic USB Hub", "usb.inf", "02"), ("0626", "Generic SuperSpeed USB Hub", "usbhub3.inf", "03")]):
            add(slot(f"USB\\VID_05E3&PID_{pid}\\5&{h32(root)}&0&{9 + n}", name, "usb", [f"USB\\VID_05E3&PID_{pid}&REV_9226", f"USB\\VID_05E3&PID_{pid}"],
                     [f"USB\\Class_09&SubClass_00&Prot_{proto}", "USB\\Class_09&SubClass_00", "USB\\Class_09"],
                     ib(inf, name, f"usb\\class_09&subclass_00&prot_{proto}" if proto == "03" else "usb\\class_09", ".NT" if inf == "usb.inf" else ".NTamd64")))
        if rng.random() < 0.5:
            serial = "20121112761000000"  # every unit of this reader reports the same serial number
            add(usb_device("0BDA", "0184", "8411", serial, "USB Mass Storage Device", "usb", ("08", "06", "50"),
                           ib("usbstor.inf", "USB Mass Storage Device", "usb\\class_08")))
            for lun, prod in enumerate(["SD/MMC", "Compact_Flash", "SM/xD-Picture", "MS/MS-Pro"]):
                stor = f"USBSTOR\\Disk&Ven_Generic-&Prod_{prod}&Rev_1.00"
                add(slot(f"{stor}\\{serial}&{lun}", f"Generic- {prod.replace('_', ' ')} USB Device", "disk",
                         [stor, f"USBSTOR\\DiskGeneric-{prod:16.16}", "USBSTOR\\DiskGeneric-", f"USBSTOR\\Generic-{prod:16.16}1",
                          f"Generic-{prod:16.16}1", "USBSTOR\\GenDisk"], ["USBSTOR\\Disk", "USBSTOR\\RAW", "GenDisk"],
                         ib("disk.inf", "Disk drive", "gendisk")))

    def _amd(self, rng):
        S = self.subsys
        add = self.slots.append
        cpus = [("AMD Ryzen 5 PRO 5650U with Radeon Graphics         ", 80, 12), ("AMD Ryzen 7 PRO 5850U with Radeon Graphics         ", 80, 16),
                ("AMD Ryzen 7 PRO 7840U w/ Radeon 780M Graphics     ", 116, 16)]
        pick = rng.randrange(2)
        self.alts.append(([6, 4], [processor_slots("AuthenticAMD", 25, m, n, t) for n, m, t in cpus[pick:pick + 2]]))
        root = "3&2411E6FE&0"
        add(pci("1022", "1630", S, "00", "060000", "00", "PCI standard host CPU bridge", "system",
                ib("machine.inf", "PCI standard host CPU bridge", None, ".NT"), parent=root))
        for n in range(6):
            add(pci("1022", "1632", S, "00", "060000", "%02X" % (8 * (n + 1)), "PCI standard host CPU bridge", "system",
                    ib("machine.inf", "PCI standard host CPU bridge", None, ".NT"), parent=root))
        for n in range(4):
            add(pci("1022", "1633" if n < 2 else "1634", S, "00", "060400", "%02X" % (9 + n), "PCI Express Root Port", "system",
                    ib("pci.inf", "PCI Express Root Port", None), parent=root, match="cc"))
        for n in range(8):
            add(pci("1022", "%04X" % (0x166A + n), S, "00", "060000", "%02X" % (0xC0 + n), "PCI standard host CPU bridge", "system",
                    ib("machine.inf", "PCI standard host CPU bridge", None, ".NT"), parent=root))
        add(pci("1022", "790B", S, "51", "0C0500", "A0", "AMD SMBus", "system", pk("AMD_SMBUS", "AMD SMBus", None), parent=root))
        add(pci("1022", "790E", S, "51", "060100", "A3", "PCI standard ISA bridge", "system",
                ib("machine.inf", "PCI standard ISA bridge", None, ".NT"), parent=root))
        inner = "4&%s&0" % h32(S + "amdgpp")
        add(pci("1002", "1638", S, "D1", "030000", "0041", "AMD Radeon(TM) Graphics", "display", pk("GFX_AMD", "AMD Radeon(TM) Graphics", None), parent=inner))
        add(pci("1002", "1637", S, "00", "040300", "0141", "High Definition Audio Controller", "media",
                ib("hdaudbus.inf", "High Definition Audio Controller", None), parent=inner, match="cc"))
        add(pci("1022", "15DF", S, "00", "108000", "0241", "AMD PSP 11.0 Device", "security", pk("AMD_PSP", "AMD PSP 11.0 Device", None), parent=inner))
        for n in range(2):
            add(pci("1022", "1639", S, "00", "0C0330", "%04X" % (0x341 + 0x100 * n), "AMD USB 3.10 eXtensible Host Controller - 1.10 (Microsoft)",
                    "usb", ib("usbxhci.inf", "USB xHCI Compliant Host Controller", None), parent=inner, match="cc"))
        add(pci("1022", "15E2", S, "01", "048000", "0541", "AMD Audio CoProcessor", "media", pk("AMD_ACP", "AMD Audio CoProcessor", None), parent=inner))
        add(pci("1022", "15E3", S, "00", "040300", "0641", "High Definition Audio Controller", "media",
                ib("hdaudbus.inf", "High Definition Audio Controller", None), parent=inner, match="cc"))
        hw = "HDAUDIO\\FUNC_01&VEN_1002&DEV_AA01&SUBSYS_00AA0100&REV_1007"
        add(slot(f"{hw}\\5&{h32(S + 'amdhda')}&0&0001", "AMD High Definition Audio Device", "media", [hw, hw.rsplit("&", 1)[0]],
                 ["HDAUDIO\\FUNC_01&VEN_1002&DEV_AA01&REV_1007", "HDAUDIO\\FUNC_01&VEN_1002&DEV_AA01", "HDAUDIO\\FUNC_01&VEN_1002", "HDAUDIO\\FUNC_01"],
                 pk("GFX_AMD", "AMD High Definition Audio Device", hw.rsplit("&", 1)[0].lower())))
        hw = f"HDAUDIO\\FUNC_01&VEN_10EC&DEV_0257&SUBSYS_{S}&REV_1000"
        add(slot(f"{hw}\\5&{h32(S + 'codec')}&0&0001", "Realtek(R) Audio", "media", [hw, hw.rsplit("&", 1)[0]],
                 ["HDAUDIO\\FUNC_01&VEN_10EC&DEV_0257&REV_1000", "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0257", "HDAUDIO\\FUNC_01&VEN_10EC", "HDAUDIO\\FUNC_01"],
                 pk("AUD_RTK", "Realtek(R) Audio", hw.rsplit("&", 1)[0].lower())))
        add(pci("14C3", "7961", "E0CB14C3", "00", "028000", "00", "MediaTek Wi-Fi 6 MT7921 Wireless LAN Card", "net",
                pk("WIFI_MTK", "MediaTek Wi-Fi 6 MT7921 Wireless LAN Card", None), parent="4&%s&0" % h32(S + "wlan"), match="sub"))
        add(pci("10EC", "8168", S, "0E", "020000", "00", "Realtek PCIe GbE Family Controller", "net",
                pk("ETH_RTK", "Realtek PCIe GbE Family Controller", None), parent="4&%s&0" % h32(S + "lan"), match="rev"))
        for n, name in enumerate(["AMD I2C Controller", "AMD I2C Controller"]):
            add(acpi("AMDI0010", str(n + 2), name, "system", pk("AMD_I2C", name, None)))
        add(acpi("AMDI0030", "0", "AMD GPIO Controller", "system", pk("AMD_GPIO", "AMD GPIO Controller", None)))
        add(acpi("AMDI0005", "0", "", None, None))  # no driver installed
        self._nvme(rng, "4&%s&0&0009" % h32(S + "nvme"))
        self.usb_roots.insert(0, self._root_hub("1639", "1639", rng))
        self.usb_roots.append(self._root_hub("1639B", "1639", rng))
        self._acpi_platform(rng, intel=False)
        self._usb_internal(rng, None, mtk=True)

    def _server(self, rng):
        S = self.subsys
        add = self.slots.append
        cpus = [("Intel(R) Xeon(R) Silver 4314 CPU @ 2.40GHz", 32), ("Intel(R) Xeon(R) Gold 5318Y CPU @ 2.10GHz", 48)]
        self.alts.append(([7, 3], [processor_slots("GenuineIntel", 6, 106, n, t) for n, t in cpus]))
        for n in range(rng.randrange(28, 40)):
            dev = "%04X" % (0x3450 + n)
            name = f"Intel(R) Xeon(R) Scalable Processor Uncore Registers - {dev}"
            add(pci("8086", dev, S, "04", "088000", "%02X" % (0x60 + n), name, "system", pk("CHIPSET", name, None), parent="3&%s&0" % h32(S + "uncore%d" % (n // 8))))
        for suf, cc, loc, name, plan in [
            ("A1AF", "0C0330", "A0", "Intel(R) USB 3.0 eXtensible Host Controller - 1.0 (Microsoft)", ib("usbxhci.inf", "USB xHCI Compliant Host Controller", None)),
            ("A1BA", "078000", "B0", "Intel(R) Management Engine Interface #1", pk("MEI", "Intel(R) Management Engine Interface #1", None)),
            ("A1A3", "0C0500", "FC", "Intel(R) SMBus - A1A3", pk("CHIPSET", "Intel(R) SMBus - A1A3", None)),
            ("A1A4", "0C8000", "FD", "Intel(R) SPI (flash) Controller - A1A4", pk("CHIPSET", "Intel(R) SPI (flash) Controller - A1A4", None)),
            ("A1C1", "060100", "F8", "Intel(R) C621 LPC/eSPI Controller - A1C1", pk("CHIPSET", "Intel(R) C621 LPC/eSPI Controller - A1C1", None)),
            ("A182", "010601", "B8", "Standard SATA AHCI Controller", ib("mshdc.inf", "Standard SATA AHCI Controller", None)),
            ("A190", "060400", "E0", "Intel(R) PCI Express Root Port #1 - A190", pk("CHIPSET", "Intel(R) PCI Express Root Port #1 - A190", None)),
            ("A194", "060400", "E4", "Intel(R) PCI Express Root Port #5 - A194", pk("CHIPSET", "Intel(R) PCI Express Root Port #5 - A194", None)),
        ]:
            add(pci("8086", suf, S, "09", cc, loc, name, "hdc" if cc.startswith("01") else "usb" if cc.startswith("0C03") else "system",
                    plan, match="cc" if plan[0] == "ib" else "dev"))
        add(pci("102B", "0536", S, "04", "030000", "00", "Matrox G200eW3 (Nuvoton) WDDM 2.0", "display",
                pk("GFX_MATROX", "Matrox G200eW3 (Nuvoton) WDDM 2.0", None), parent="5&%s&0" % h32(S + "vga"), match="sub"))
        for n in range(2):
            add(pci("14E4", "165F", S, "00", "020000", "%02X" % n, f"Broadcom NetXtreme Gigabit Ethernet{' #%d' % (n + 1) if n else ''}", "net",
                    pk("ETH_BCM", "Broadcom NetXtreme Gigabit Ethernet", None), parent="4&%s&0" % h32(S + "lom"), match="sub"))
        for n in range(rng.choice([2, 4])):
            name = "Intel(R) Ethernet Converged Network Adapter X710" + (f" #{n + 1}" if n else "")
            add(pci("8086", "1572", "00078086", "02", "020000", "%02X" % n, name, "net",
                    pk("ETH_X710", "Intel(R) Ethernet Converged Network Adapter X710", None), parent="6&%s&0" % h32(S + "x710"), match="sub"))
        add(pci("1000", "10E2", S, "00", "010400", "00", "PERC H755 Front", "scsi", pk("RAID_PERC", "PERC H755 Front", None),
                parent="4&%s&0" % h32(S + "perc"), match="sub"))
        for n in range(rng.choice([1, 2])):
            add(slot(f"SCSI\\Disk&Ven_DELL&Prod_PERC_H755_Front\\5&{h32(S + 'vd')}&0&00{n:02d}00", "DELL PERC H755 Front SCSI Disk Device", "disk",
                     ["SCSI\\DiskDELL____PERC_H755_Front_5.16", "SCSI\\DiskDELL____PERC_H755_Front_", "SCSI\\DiskDELL____",
                      "SCSI\\DELL____PERC_H755_Front_5", "DELL____PERC_H755_Front_5", "GenDisk"], ["SCSI\\Disk", "SCSI\\RAW"],
                     ib("disk.inf", "Disk drive", "gendisk")))
        add(acpi("IPI0001", "0", "Microsoft Generic IPMI Compliant Device", "system",
                 ib("ipmidrv.inf", "Microsoft Generic IPMI Compliant Device", None)))
        root = self._root_hub("A1AF", "A1AF", rng)
        self.usb_roots.append(root)
        idrac = usb_composite("413C", "A102", "0001", f"5&{h32(root[0])}&0&4")
        add(idrac)
        add(usb_iface(idrac[0], "413C", "A102", "0001", 0, ("02", "06", "00"), "Remote NDIS Compatible Device", "net",
                      ib("rndiscmp.inf", "Remote NDIS Compatible Device", "usb\\class_02&subclass_06")))
        kvm = usb_composite("413C", "A001", "0100", f"5&{h32(root[0])}&0&3")
        add(kvm)
        for s in input_device(kvm[0], "413C", "A001", "0100", 0, 1, ["keyboard"]) + input_device(kvm[0], "413C", "A001", "0100", 1, 2, ["mouse"]):
            add(s)
        self._acpi_platform(rng, intel=True)

    def _vmware(self, rng):
        add = self.slots.append
        S = "197615AD"
        cpus = [("Intel(R) Xeon(R) Gold 6338 CPU @ 2.00GHz", 4), ("Intel(R) Xeon(R) Gold 6338 CPU @ 2.00GHz", 8)]
        self.alts.append(([5, 5], [processor_slots("GenuineIntel", 6, 106, n, t) for n, t in cpus]))
        for dev, cc, loc, name, plan in [
            ("7190", "060000", "00", "Intel 82443BX Pentium(R) II Processor to PCI Bridge", ib("machine.inf", "Intel 82443BX Pentium(R) II Processor to PCI Bridge", None, ".NT")),
            ("7191", "060400", "08", "Intel 82443BX Pentium(R) II Processor to AGP Controller", ib("machine.inf", "Intel 82443BX Pentium(R) II Processor to AGP Controller", None, ".NT")),
            ("7110", "060100", "38", "Intel 82371AB/EB PCI to ISA bridge (ISA mode)", ib("machine.inf", "Intel 82371AB/EB PCI to ISA bridge (ISA mode)", None, ".NT")),
            ("7111", "01018A", "39", "Intel(R) 82371AB/EB PCI Bus Master IDE Controller", ib("mshdc.inf", "Intel(R) 82371AB/EB PCI Bus Master IDE Controller", None)),
            ("7113", "068000", "3B", "Intel 82371AB/EB Power Management Controller", ib("machine.inf", "Intel 82371AB/EB Power Management Controller", None, ".NT")),
        ]:
            add(pci("8086", dev, S, "01", cc, loc, name, "hdc" if cc.startswith("01") else "system", plan, match="dev"))
        add(pci("15AD", "0740", S, "10", "088000", "3F", "VMware VMCI Bus Device", "system", pk("VMCI", "VMware VMCI Bus Device", None)))
        add(pci("15AD", "0405", S, "00", "030000", "78", "VMware SVGA 3D", "display", pk("GFX_VMW", "VMware SVGA 3D", None), match="sub"))
        add(pci("15AD", "0790", S, "02", "060401", "88", "PCI standard PCI-to-PCI bridge", "system",
                ib("machine.inf", "PCI standard PCI-to-PCI bridge", None, ".NT"), match="cc"))
        for n in range(32):
            add(pci("15AD", "07A0", S, "01", "060400", "%02X" % (0xA8 + n),
                    "PCI Express Root Port", "system", ib("pci.inf", "PCI Express Root Port", None), match="cc",
                    parent="3&61AAA01&0"))
        add(pci("15AD", "07B0", S, "01", "020000", "00", "vmxnet3 Ethernet Adapter", "net", pk("ETH_VMX", "vmxnet3 Ethernet Adapter", None),
                parent="4&%s&0" % h32("vmxnet"), match="sub"))
        add(pci("15AD", "07C0", S, "02", "010700", "00", "VMware PVSCSI Controller", "scsi", pk("SCSI_PVS", "VMware PVSCSI Controller", None),
                parent="4&%s&0" % h32("pvscsi"), match="sub"))
        add(pci("15AD", "0779", S, "00", "0C0330", "00", "USB xHCI Compliant Host Controller", "usb",
                ib("usbxhci.inf", "USB xHCI Compliant Host Controller", None), parent="4&%s&0" % h32("vmusb"), match="cc"))
        for n in range(rng.choice([1, 2])):
            add(slot(f"SCSI\\Disk&Ven_VMware&Prod_Virtual_disk\\5&{h32('pvscsi')}&0&00{n:02d}00", "VMware Virtual disk SCSI Disk Device", "disk",
                     ["SCSI\\DiskVMware__Virtual_disk____2.0", "SCSI\\DiskVMware__Virtual_disk____", "SCSI\\DiskVMware__",
                      "SCSI\\VMware__Virtual_disk____2", "VMware__Virtual_disk____2", "GenDisk"], ["SCSI\\Disk", "SCSI\\RAW"],
                     ib("disk.inf", "Disk drive", "gendisk")))
        add(acpi("VMW0003", "4&%s&0" % h32("vmmouse"), "VMware Pointing Device", "mouse", pk("VMMOUSE", "VMware Pointing Device", None),
                 cids=["*PNP0F13"]))
        add(acpi("PNP0303", "4&%s&0" % h32("kbd"), "Standard PS/2 Keyboard", "keyboard", ib("keyboard.inf", "Standard PS/2 Keyboard", None)))
        add(acpi("PNP0501", "1", "Communications Port (COM1)", "ports", ib("msports.inf", "Communications Port", None)))
        self.usb_roots.append(self._root_hub("0779", "0779", rng, vid="15AD"))
        self._acpi_platform(rng, intel=True, vm=True)

    def _hyperv(self, rng):
        add = self.slots.append
        cpus = [("Intel(R) Xeon(R) Platinum 8272CL CPU @ 2.60GHz", 2), ("Intel(R) Xeon(R) Platinum 8272CL CPU @ 2.60GHz", 4)]
        self.alts.append(([5, 5], [processor_slots("GenuineIntel", 6, 85, n, t) for n, t in cpus]))
        add(acpi("VMBus", "0", "Microsoft Hyper-V Virtual Machine Bus", "system", ib("wvmbus.inf", "Microsoft Hyper-V Virtual Machine Bus", None),
                 cids=["VMBUS"]))
        add(acpi("Hyper_V_Gen_Counter_V1", "0", "Microsoft Hyper-V Generation Counter", "system", ib("wgencounter.inf", "Microsoft Hyper-V Generation Counter", None)))
        add(acpi("MSFT1000", "0", "Microsoft Hyper-V Virtual Machine Bus Provider", "system", ib("wvmbusr.inf", "Microsoft Hyper-V Virtual Machine Bus Provider", None)))
        for cls_guid, inst, name, inf, cls in [
            ("{da0a7802-e377-4aac-8e77-0558eb1073f8}", "{5620e0c7-8062-4dce-aeb7-520c7ef76171}", "Microsoft Hyper-V Video", "wvmbusvideo.inf", "display"),
            ("{f912ad6d-2b17-48ea-bd65-f927a61c7684}", "{d34b2567-b9b6-42b9-8778-0a4ec0b955bf}", "Microsoft Hyper-V Virtual Keyboard", "keyboard.inf", "keyboard"),
            ("{cfa8b69e-5b4a-4cc0-b98b-8ba1a1f3f95a}", "{58f75a6d-d949-4320-99e1-a2a2576d581c}", "Microsoft Hyper-V Input", "msmouse.inf", "hid"),
            ("{57164f39-9115-4e78-ab55-382f3bd5422d}", "{fd149e91-82e0-4a7d-afa6-2a4166cbd7c0}", "Microsoft Hyper-V Heartbeat", "wvmic.inf", "system"),
            ("{a9a0f4e7-5a45-4d96-b827-8a841e8c03e6}", "{242ff919-07db-4180-9c2e-b86cb68c8c55}", "Microsoft Hyper-V Data Exchange", "wvmic.inf", "system"),
            ("{0e0b6031-5213-4934-818b-38d90ced39db}", "{b6650ff7-33bc-4840-8048-e0676786f393}", "Microsoft Hyper-V Guest Shutdown", "wvmic.inf", "system"),
            ("{9527e630-d0ae-497b-adce-e80ab0175caf}", "{2dd1ce17-079e-403c-b352-a1921ee207ee}", "Microsoft Hyper-V Time Synchronization", "wvmic.inf", "system"),
            ("{35fa2e29-ea23-4236-96ae-3a6ebacba440}", "{2450ee40-33bf-4fbd-892e-9fb06e9214cf}", "Microsoft Hyper-V Volume Shadow Copy", "wvmic.inf", "system"),
            ("{276aacf4-ac15-426c-98dd-7521ad3f01fe}", "{f5bee29c-1741-4aad-a4c2-8fdedb46dcc2}", "Microsoft Hyper-V Remote Desktop Control Channel", "wvmic.inf", "system"),
            ("{34d14be3-dee4-41c8-9ae7-6b174977c192}", "{99221fa0-24ad-11e2-be98-001aa01bbf6e}", "Microsoft Hyper-V Guest Service Interface", "wvmic.inf", "system"),
        ]:
            add(slot(f"VMBUS\\{cls_guid}\\{inst}", name, cls, [f"VMBUS\\{cls_guid}"], [], ib(inf, name, f"vmbus\\{cls_guid}")))
        add(slot("SCSI\\Disk&Ven_Msft&Prod_Virtual_Disk\\000000", "Microsoft Virtual Disk", "disk",
                 ["SCSI\\DiskMsft____Virtual_Disk____1.0_", "SCSI\\DiskMsft____Virtual_Disk____", "SCSI\\DiskMsft____",
                  "SCSI\\Msft____Virtual_Disk____1", "Msft____Virtual_Disk____1", "GenDisk"], ["SCSI\\Disk", "SCSI\\RAW"],
                 ib("disk.inf", "Disk drive", "gendisk")))
        add(slot("ROOT\\VMBUS\\0000", "Microsoft Hyper-V Virtual Machine Bus Enumerator", "system", ["ROOT\\VMBUS"], [],
                 ib("wvmbusr.inf", "Microsoft Hyper-V Virtual Machine Bus Enumerator", "root\\vmbus")))
        self._acpi_platform(rng, intel=True, vm=True)

    def _nvme(self, rng, parent_loc):
        """Storage: two or three suppliers' SSDs; each machine has one of them."""
        opts = []
        parent, loc = parent_loc.rsplit("&", 1)
        for ven, dev, name, prod in rng.sample(DISKS, rng.choice([2, 3])):
            s = [pci(ven, dev, "%04X%s" % (int(dev, 16) ^ 0x0101, ven), "00", "010802", loc, "Standard NVM Express Controller", "scsi",
                     ib("stornvme.inf", "Standard NVM Express Controller", None), parent=parent, match="cc")]
            fw = rng.choice(["GXA7801Q", "11000010", "HPS3", "AEGA0102", "73110000"])
            disk = f"SCSI\\Disk&Ven_NVMe&Prod_{prod}\\5&{h32(self.tag + prod)}&0&000000"
            s.append(slot(disk, name, "disk", [f"SCSI\\DiskNVMe____{prod}{fw}", f"SCSI\\DiskNVMe____{prod}", "SCSI\\DiskNVMe____",
                                                f"SCSI\\NVMe____{prod}{fw[:1]}", f"NVMe____{prod}{fw[:1]}", "GenDisk"],
                          ["SCSI\\Disk", "SCSI\\RAW"], ib("disk.inf", "Disk drive", "gendisk")))
            opts.append(s)
        self.alts.append(([6, 3, 1][: len(opts)], opts))

    def _root_hub(self, tag, pid, rng, vid="8086"):
        iid = f"USB\\ROOT_HUB30\\4&{h32(self.tag + tag)}&0&0"
        self.slots.append(slot(iid, "USB Root Hub (USB 3.0)", "usb",
                               [f"USB\\ROOT_HUB30&VID{vid}&PID{pid}&REV0001", f"USB\\ROOT_HUB30&VID{vid}&PID{pid}", "USB\\ROOT_HUB30"], [],
                               ib("usbhub3.inf", "USB Root Hub (USB 3.0)", "usb\\root_hub30")))
        return (iid, [1, 2, 3, 4, 5, 6])

    def _usb_internal(self, rng, bt_pid, mtk=False):
        add = self.slots.append
        root = self.usb_roots[0][0]
        if bt_pid or mtk:
            vid, pid, pkg, name = ("0E8D", "0608", "BT_MTK", "MediaTek Bluetooth Adapter") if mtk else (
                "8087", bt_pid, "BT_INTEL", "Intel(R) Wireless Bluetooth(R)")
            bt = usb_device(vid, pid, "0000", f"5&{h32(root)}&0&10", name, "bluetooth", ("E0", "01", "01"), pk(pkg, name, None))
            bt = bt[:5] + (pk(pkg, name, bt[3][1].lower()),)
            add(bt)
            for dev, name, inf, cls in [("MS_BTHBRB", "Microsoft Bluetooth Enumerator", "bth.inf", "bluetooth"),
                                        ("MS_BTHLE", "Microsoft Bluetooth LE Enumerator", "bthleenum.inf", "bluetooth"),
                                        ("MS_BTHPAN", "Bluetooth Device (Personal Area Network)", "bthpan.inf", "net"),
                                        ("MS_RFCOMM", "Bluetooth Device (RFCOMM Protocol TDI)", "tdibth.inf", "bluetooth")]:
                add(slot(f"BTH\\{dev}\\6&{h32(bt[0])}&0&{1 + len(dev) % 3}", name, cls, [f"BTH\\{dev}"], [], ib(inf, name, f"bth\\{dev.lower()}")))
        if self.laptop:
            cam = rng.choice([("0C45", "6A10", "Integrated Webcam"), ("04F2", "B6D9", "Integrated Camera"), ("30C9", "0030", "HP HD Camera"),
                              ("13D3", "56FB", "Integrated Camera")])
            self.camera = cam
            if rng.random() < 0.6:
                fp = rng.choice([("27C6", "63AC", "Goodix MOC Fingerprint", "FP_GOODIX"), ("06CB", "00BD", "Synaptics UWP WBDI", "FP_SYNA")])
                add(usb_device(fp[0], fp[1], "0100", f"5&{h32(root)}&0&{rng.choice([7, 8, 9])}", fp[2], "biometric", ("FF", "00", "00"),
                               pk(fp[3], fp[2], f"usb\\vid_{fp[0].lower()}&pid_{fp[1].lower()}")))
            # touchpad on I2C and the converted keyboard buttons
            tp = rng.choice(["DELL0A22", "SYNA8004", "ELAN0672", "HPQ0002"])
            add(acpi(tp, "1", "I2C HID Device", "hid", ib("hidi2c.inf", "I2C HID Device", "acpi\\pnp0c50"), cids=["PNP0C50"]))
            for s in hid_collections(f"ACPI\\{tp}\\1", tp, "", ["mouse", "touchpad", "vendor", "vendor"], "VID_" + rng.choice(["06CB", "04F3"])):
                add(s)
            add(acpi("INTC1051" if self.kind != "laptop-amd" else "AMDI0052", "2&DABA3FF&1", "Intel(R) HID Event Filter" if self.kind != "laptop-amd" else "",
                     "hid" if self.kind != "laptop-amd" else None, pk("HIDEVT", "Intel(R) HID Event Filter", None) if self.kind != "laptop-amd" else None))
            for s in hid_collections(f"ACPI\\INTC1051\\2&DABA3FF&1", "ConvertedDevice", "", ["consumer", "system"], "VID_0000"):
                add(s)
            if rng.random() < 0.5:
                sensors = rng.randrange(3, 8)
                add(acpi("INTC1078" if self.kind != "laptop-amd" else "AMDI0080", "1", "Intel(R) Integrated Sensor Solution", "system",
                         pk("ISH", "Intel(R) Integrated Sensor Solution", None)))
                for s in hid_collections(f"ACPI\\INTC1078\\1", "VID_8087&PID_0AC2", "0200", ["sensor"] * sensors, "VID_8087"):
                    add(s)

    def _acpi_platform(self, rng, intel, vm=False):
        add = self.slots.append
        m = lambda inf, d, ext=".NT": ib(inf, d, None, ext)
        add(slot("ACPI_HAL\\PNP0C08\\0", "Microsoft ACPI-Compliant System", "system", ["ACPI_HAL\\PNP0C08", "*PNP0C08"], [],
                 ib("acpi.inf", "Microsoft ACPI-Compliant System", "acpi_hal\\pnp0c08")))
        add(acpi("PNP0A08", "0", "PCI Express Root Complex", "system", m("pci.inf", "PCI Express Root Complex", ".NTamd64"), cids=["PNP0A03"]))
        add(acpi("ACPI000C", "2&DABA3FF&1", "ACPI Processor Aggregator", "system", m("acpipagr.inf", "ACPI Processor Aggregator", ".NTamd64")))
        add(acpi("FixedButton", "2&DABA3FF&1", "ACPI Fixed Feature Button", "system", m("machine.inf", "ACPI Fixed Feature Button")))
        add(acpi("PNP0C0C", "2&DABA3FF&1", "ACPI Power Button", "system", m("machine.inf", "ACPI Power Button")))
        add(acpi("MSFT0101", "1", "Trusted Platform Module 2.0", "security", m("tpm.inf", "Trusted Platform Module 2.0", ".NTamd64"),
                 cids=["MSFT0101"]))
        for n in range(rng.randrange(1, 4)):
            add(acpi("ThermalZone", f"TZ{n:02d}" if n else "THM0", "ACPI Thermal Zone", "system", m("machine.inf", "ACPI Thermal Zone")))
        if vm:
            add(acpi("PNP0B00", "0", "System CMOS/real time clock", "system", m("machine.inf", "System CMOS/real time clock")))
            return
        for hid, name in [("PNP0000", "Programmable interrupt controller"), ("PNP0100", "System timer"), ("PNP0103", "High precision event timer"),
                          ("PNP0200", "Direct memory access controller"), ("PNP0800", "System speaker"), ("PNP0B00", "System CMOS/real time clock"),
                          ("PNP0C04", "Numeric data processor")]:
            add(acpi(hid, "4&%s&0" % h32(self.tag + hid) if hid != "PNP0103" else "0", name, "system", m("machine.inf", name)))
        names = ["0", "1", "2", "10", "11", "14", "15", "PCHRESV", "IoTraps", "LDRC", "MCHC"] if intel else ["0", "1", "2", "3", "4", "5"]
        for n in names[: rng.randrange(5, len(names) + 1)]:
            add(acpi("PNP0C02", n, "Motherboard resources", "system", m("machine.inf", "Motherboard resources")))
        add(acpi("PNP0C14", "0", "Microsoft Windows Management Interface for ACPI", "system", m("wmiacpi.inf", "Microsoft Windows Management Interface for ACPI")))
        for n in range(rng.randrange(1, 4)):
            add(acpi("PNP0C14", ["WMI1", "WMI2", "WTBT", "DELL"][n], "Microsoft Windows Management Interface for ACPI", "system",
                     m("wmiacpi.inf", "Microsoft Windows Management Interface for ACPI")))
        add(acpi("ACPI000E", "2&DABA3FF&1", "ACPI Wake Alarm", "system", m("acpitime.inf", "ACPI Wake Alarm", ".NTamd64")))
        for n in range(rng.randrange(1, 5)):
            add(acpi("PNP0C0B", str(n), "ACPI Fan", "system", m("machine.inf", "ACPI Fan")))
        if not intel:
            add(acpi("PNP0C0F", "PCI_LINK0", "PCI Interrupt Link", "system", m("machine.inf", "PCI Interrupt Link")))
        add(acpi("ACPI0010", "2&DABA3FF&1", "Generic Bus", "system", m("machine.inf", "Generic Bus")))
        if intel and not self.server:
            add(acpi("INT33A1", "1", "Intel(R) Power Engine Plug-in", "system", m("intelpep.inf", "Intel(R) Power Engine Plug-in", ".NTamd64")))
            gpio = {"laptop-cml-u": "INT34BB", "laptop-tgl": "INT34C5"}.get(self.kind, "INTC1055")
            add(acpi(gpio, "0", f"Intel(R) Serial IO GPIO Host Controller - {gpio}", "system",
                     pk("SERIALIO", f"Intel(R) Serial IO GPIO Host Controller - {gpio}", None)))
        if self.laptop:
            add(acpi("ACPI0003", "2&DABA3FF&1", "Microsoft AC Adapter", "battery", m("cmbatt.inf", "Microsoft AC Adapter", ".NTamd64")))
            add(acpi("PNP0C0A", "1", "Microsoft ACPI-Compliant Control Method Battery", "battery",
                     m("cmbatt.inf", "Microsoft ACPI-Compliant Control Method Battery", ".NTamd64")))
            add(acpi("PNP0C0D", "2&DABA3FF&1", "ACPI Lid", "system", m("machine.inf", "ACPI Lid")))
            add(acpi("PNP0C09", "0", "Microsoft ACPI-Compliant Embedded Controller", "system", m("machine.inf", "Microsoft ACPI-Compliant Embedded Controller")))
            add(acpi("PNP0303", "4&%s&0" % h32(self.tag + "kbd"), "Standard PS/2 Keyboard", "keyboard",
                     ib("keyboard.inf", "Standard PS/2 Keyboard", "*pnp0303")))
            add(acpi("USBC000", "0", "UCM-UCSI ACPI Device", "ucm", m("UcmUcsiAcpiClient.inf", "UCM-UCSI ACPI Device", ".NTamd64"), cids=["PNP0CA0"]))
            panel = rng.choice(["BOE0A81", "AUO5B9D", "LGD06A5", "SHP1515", "CMN1406"])
            add(slot(f"DISPLAY\\{panel}\\4&{h32(self.tag + panel)}&0&UID8388688", "Generic PnP Monitor", "monitor", [f"MONITOR\\{panel}"],
                     ["*PNP09FF"], ib("monitor.inf", "Generic PnP Monitor", "*pnp09ff")))
            if intel:
                add(acpi("INT3472", "0", "", None, None))  # camera power control: no driver installed
        else:
            add(acpi("PNP0C0E", "2&DABA3FF&1", "ACPI Sleep Button", "system", m("machine.inf", "ACPI Sleep Button")))
        if not self.server:
            hid, name = self.rng.choice(OEMS[self.oem_name][2])
            add(acpi(hid, "0", name, "system", pk(OEMS[self.oem_name][1], name, None)))

    def _common(self, rng):
        """Windows' own devices and the fleet's software, the same on every machine."""
        add = self.slots.append
        r = lambda dev, inst, name, cls, inf, hwid, ext=".NTamd64": add(
            slot(f"ROOT\\{dev}\\{inst}", name, cls, [hwid], [], ib(inf, name, hwid.lower(), ext)))
        r("ACPI_HAL", "0000", "ACPI x64-based PC", "computer", "hal.inf", "acpiapic")
        r("BasicDisplay", "0000", "Microsoft Basic Display Driver", "system", "basicdisplay.inf", "ROOT\\BasicDisplay")
        r("BasicRender", "0000", "Microsoft Basic Render Driver", "system", "basicrender.inf", "ROOT\\BasicRender")
        r("CompositeBus", "0000", "Composite Bus Enumerator", "system", "compositebus.inf", "ROOT\\CompositeBus")
        r("KDNIC", "0000", "Microsoft Kernel Debug Network Adapter", "net", "kdnic.inf", "root\\kdnic")
        r("NdisVirtualBus", "0000", "NDIS Virtual Network Adapter Enumerator", "system", "ndisvirtualbus.inf", "ROOT\\NdisVirtualBus")
        r("RDPBUS", "0000", "Remote Desktop Device Redirector Bus", "system", "rdpbus.inf", "ROOT\\RDPBUS")
        r("SYSTEM", "0000", "Plug and Play Software Device Enumerator", "system", "swenum.inf", "SWD\\GenericRaw", ".NT")
        r("SYSTEM", "0001", "Microsoft System Management BIOS Driver", "system", "mssmbios.inf", "ROOT\\mssmbios", ".NT")
        r("SYSTEM", "0002", "Microsoft GS Wavetable Synth", "media", "wdmaudio.inf", "SW\\{b7eafdc0-a680-11d0-96d8-00aa0051e51d}")
        r("UMBUS", "0000", "UMBus Root Bus Enumerator", "system", "umbus.inf", "root\\umbus")
        r("vdrvroot", "0000", "Microsoft Virtual Drive Enumerator", "system", "vdrvroot.inf", "ROOT\\vdrvroot")
        r("volmgr", "0000", "Volume Manager", "system", "volmgr.inf", "ROOT\\VOLMGR")
        r("spaceport", "0000", "Microsoft Storage Spaces Controller", "scsi", "spaceport.inf", "Root\\Spaceport")
        r("MSVHDHBA", "0000", "Microsoft Hyper-V Virtual Disk Server", "scsi", "vhdmp.inf", "ROOT\\MSVHDHBA")
        add(slot("ROOT\\NET\\0000", "Cisco AnyConnect Secure Mobility Client Virtual Miniport Adapter for Windows x64", "net", ["vpnva"], [],
                 pk("VPN", "Cisco AnyConnect Secure Mobility Client Virtual Miniport Adapter for Windows x64", "vpnva")))
        if not self.server:
            add(slot("ROOT\\NET\\0001", "Zscaler Client Connector Virtual Adapter (tunnel=2.0)", "net", ["ZSCALER\\ZSATunnel"], [],
                     pk("ZSCALER", "Zscaler Client Connector Virtual Adapter", "zscaler\\zsatunnel")))
        if self.index % 9 == 3:
            add(slot("ROOT\\LEGACY_NDPROXY\\0000", "NDProxy", None, ["ROOT\\LEGACY_NDPROXY"], [], pk("LEGACY", "NDProxy", None)))
        for dev, name, inf in [("MS_AGILEVPNMINIPORT", "WAN Miniport (IKEv2)", "netavpna.inf"), ("MS_L2TPMINIPORT", "WAN Miniport (L2TP)", "netrasa.inf"),
                               ("MS_NDISWANBH", "WAN Miniport (Network Monitor)", "netrasa.inf"), ("MS_NDISWANIP", "WAN Miniport (IP)", "netrasa.inf"),
                               ("MS_NDISWANIPV6", "WAN Miniport (IPv6)", "netrasa.inf"), ("MS_PPPOEMINIPORT", "WAN Miniport (PPPOE)", "netrasa.inf"),
                               ("MS_PPTPMINIPORT", "WAN Miniport (PPTP)", "netrasa.inf"), ("MS_SSTPMINIPORT", "WAN Miniport (SSTP)", "netsstpa.inf")]:
            add(slot(f"SWD\\MSRRAS\\{dev}", name, "net", [dev], [], ib(inf, name, dev.lower())))
        add(slot("SWD\\IP_TUNNEL_VBUS\\IP_TUNNEL_DEVICE_ROOT", "Microsoft IP-HTTPS Platform Interface", "net", ["*IPHTTPS"], [],
                 ib("nettun.inf", "Microsoft IP-HTTPS Platform Interface", "*iphttps")))
        add(slot("SWD\\IP_TUNNEL_VBUS\\TEREDO_TUNNEL_DEVICE", "Microsoft Teredo Tunneling Adapter", "net", ["*TEREDO"], [],
                 ib("nettun.inf", "Microsoft Teredo Tunneling Adapter", "*teredo")))
        add(slot("SWD\\PRINTENUM\\PRINTQUEUES", "Root Print Queue", "printqueue", ["PRINTENUM\\PrintQueues"], [],
                 ib("printqueue.inf", "Root Print Queue", "printenum\\printqueues")))
        add(slot("SWD\\MSDAS\\{9bd8f48c-1d14-4b2a-9e3c-4b8e2f1d5f7a}", "Microsoft Device Association Root Enumerator", "system",
                 ["SWD\\DAFUPnPProvider"], [], ib("dafprovider.inf", "Microsoft Device Association Root Enumerator", "swd\\dafupnpprovider")))
        add(slot("UMB\\UMB\\1&841921D&0&PRINTERBUSENUMERATOR", "UMBus Enumerator", "system", ["UMB\\UMBUS"], [],
                 ib("umbus.inf", "UMBus Enumerator", "umb\\umbus")))
        if not self.vm:
            for name in ["Device Firmware", "Device Firmware"][: rng.randrange(1, 3)]:
                fw = guid(rng)
                add(slot(f"UEFI\\RES_{fw}\\0", name, "firmware", [f"UEFI\\RES_{fw}&REV_{rng.randrange(0x10, 0x40):X}", f"UEFI\\RES_{fw}"], [],
                         pk("DEVFW", name, f"uefi\\res_{fw}")))
            for dev, inst, name, inf, hwid in [("SYSTEM", "0003", "Microsoft Radio Device Enumeration Bus", "radiomgr.inf", "ROOT\\RadioEnum"),
                                               ("SYSTEM", "0004", "Microsoft Streaming Service Proxy", "ksfilter.inf", "SW\\{96e080c7-143c-11d1-b40f-00a0c9223196}"),
                                               ("SYSTEM", "0005", "Microsoft Streaming Quality Manager Proxy", "ksfilter.inf", "SW\\{ddf4358e-bb2c-11d0-a42f-00a0c9223196}"),
                                               ("SYSTEM", "0006", "Microsoft Streaming Clock Proxy", "ksfilter.inf", "SW\\{97ebaacc-95bd-11d0-a3ea-00a0c9223196}"),
                                               ("SYSTEM", "0007", "Microsoft Trusted Audio Drivers", "wdmaudio.inf", "SW\\{eec12db6-ad9c-4168-8658-b03daef417fe}"),
                                               ("CAD", "0000", "Charge Arbitration Driver", "cad.inf", "ROOT\\CAD"),
                                               ("RDCAMERA_BUS", "0000", "Remote Desktop Camera Bus", "rdcamera.inf", "ROOT\\RDCAMERA_BUS")]:
                if dev != "CAD" or self.laptop:
                    add(slot(f"ROOT\\{dev}\\{inst}", name, "system" if "Stream" not in name and "Audio" not in name else "media", [hwid], [],
                             ib(inf, name, hwid.lower())))
            if rng.random() < 0.4:  # Hyper-V enabled on this model's image
                for dev, name, inf, cls, hwid in [("VMS_MP", "Hyper-V Virtual Ethernet Adapter", "wvms_mp.inf", "net", "vms_mp"),
                                                  ("VMS_VSMP", "Hyper-V Virtual Switch Extension Adapter", "wvms_vsmp.inf", "net", "vms_vsmp"),
                                                  ("VID", "Microsoft Hyper-V Virtualization Infrastructure Driver", "wvid.inf", "system", "ROOT\\VID"),
                                                  ("VPCIVSP", "Microsoft Hyper-V PCI Server", "wvpcivsp.inf", "system", "ROOT\\VPCIVSP"),
                                                  ("STORVSP", "Microsoft Hyper-V Virtual Machine Bus Provider", "wstorvsp.inf", "system", "ROOT\\STORVSP")]:
                    add(slot(f"ROOT\\{dev}\\0000", name, cls, [hwid], [], ib(inf, name, hwid.lower())))
        fw = guid(rng)
        add(slot(f"UEFI\\RES_{fw}\\0", "System Firmware", "firmware", [f"UEFI\\RES_{fw}&REV_{rng.randrange(0x100, 0x200):X}0000", f"UEFI\\RES_{fw}"],
                 [], pk("BIOS", "System Firmware", f"uefi\\res_{fw}")))
        # software components that come with the drivers
        keys = set()
        for s in self.slots:
            if s[5] and s[5][0] == "pk":
                keys.add(s[5][1])
        for key, name, pk_key in [("IntelGraphicsCommandCenter", "Intel(R) Graphics Command Center", "GFX_XE"),
                                  ("IntelGraphicsControlPanel", "Intel(R) Graphics Control Panel", "GFX_UHD"),
                                  ("ArcControl", "Intel(R) Arc(TM) Control", "GFX_ARC"),
                                  ("RtkAudUService", "Realtek Audio Universal Service", "AUD_RTK"),
                                  ("RtkHSA", "Realtek Hardware Support Application", "AUD_RTK"),
                                  ("RtkApo", "Realtek Audio Effects Component", "AUD_RTK"),
                                  ("WavesAPO", "Waves MaxxAudio Pro Application", "AUD_RTK"),
                                  ("iCLS", "Intel(R) iCLS Client", "MEI"),
                                  ("DAL", "Intel(R) Dynamic Application Loader Host Interface", "MEI"),
                                  ("LMS", "Intel(R) Management and Security Application Local Management Service", "MEI"),
                                  ("IPFUF", "Intel(R) Innovation Platform Framework Extension Component", "DPTF"),
                                  ("NvContainer", "NVIDIA Control Panel", "GFX_NV"),
                                  ("AMDSoftware", "AMD Software Component", "GFX_AMD"),
                                  ("TbtService", "Thunderbolt(TM) Control Center", "TBT"),
                                  ("IntelGfxSw", "Intel(R) Graphics Software", "GFX_ARC"),
                                  ("WiFiSvc", "Intel(R) Wireless Manageability Driver Extension", "WIFI_INTEL"),
                                  ("BtAudio", "Intel(R) Wireless Bluetooth(R) Audio Extension", "BT_INTEL"),
                                  ("DTTui", "Intel(R) Dynamic Tuning Technology Telemetry Service", "DPTF"),
                                  ("RSTExt", "Intel(R) Optane(TM) Memory and Storage Management Component", "VMD"),
                                  ("IntcAudioExt", "Intel(R) Smart Sound Technology Detection Verification", "AUD_SST"),
                                  ("AmdPmf", "AMD Ryzen Power Management Extension", "AMD_PSP"),
                                  ("MtkWlanSvc", "MediaTek Wireless Service Component", "WIFI_MTK")]:
            if pk_key in keys:
                self.slots.append(swc(self.tag, key, name, pk_key, "10EC" if pk_key.startswith("AUD_RTK") else "8086"))

    def _fit(self, rng, devices):
        """Pads the model with the kind of devices machines have by the dozen, or drops some,
        so that a machine has about `devices` of them."""
        amd = self.kind == "laptop-amd"
        host_extra = 22 if not self.vm else 6
        alt_n = sum(sum(len(o) for o in opts) / len(opts) for _, opts in self.alts)
        factor = {"vmware": rng.uniform(0.5, 0.65), "hyperv": rng.uniform(0.35, 0.5)}.get(
            self.kind, rng.uniform(0.96, 1.14) if self.laptop else rng.uniform(0.81, 0.99))
        target = max(4, round(devices * factor - host_extra - alt_n))
        n = 0
        if self.vm:
            caps = {"swc": 15, "rp": 40 if self.kind == "vmware" else 0}
            more = {"swc": 100}
        else:
            caps = {"hid": 4, "mb": 2, "wmi": 2, "rp": 12, "hub": 2, "swc": 5, "dtt": 6 if self.laptop and not amd else 0,
                    "hidvendor": 6, "pcix": len(PCH_FUNCTIONS)}
            more = {"rp": 60, "hidvendor": 8, "pcix": 60}
        swc_names = [x for x in SOFTWARE_COMPONENTS if not (amd and "Intel" in x)]
        rng.shuffle(swc_names)
        functions = list(AMD_FUNCTIONS if amd else PCH_FUNCTIONS)
        rng.shuffle(functions)
        while len(self.slots) < target:
            kinds = [k for k, c in caps.items() if c > 0]
            if not kinds:
                caps, more = more, {"rp": 100} if not self.vm else {"swc": 1000}
                continue
            kind = rng.choice(kinds)
            caps[kind] -= 1
            n += 1
            if kind in ("hid", "hidvendor"):
                vid, pid = rng.choice([("8087", "0A1E"), ("044E", "1212"), ("06CB", "CE26"), ("0BDA", "1100"), ("1B96", "0F1E"), ("2386", "4328")])
                parent = f"USB\\VID_{vid}&PID_{pid}\\5&{h32(self.tag + 'filler')}&0&{n}"
                if kind == "hid":
                    self.slots.append(usb_device(vid, pid, "0100", parent.rsplit("\\", 1)[1], "USB Input Device", "hid", ("03", "00", "00"),
                                                 ib("input.inf", "USB Input Device", "usb\\class_03")))
                cols = ["vendor"] * rng.randrange(1, 4) + ["consumer"] if kind == "hid" else ["vendor"]
                for s in hid_collections(parent, f"VID_{vid}&PID_{pid}", "0100", cols, f"VID_{vid}"):
                    self.slots.append(s)
            elif kind == "mb":
                self.slots.append(acpi("PNP0C02", f"{100 + n}", "Motherboard resources", "system",
                                       ib("machine.inf", "Motherboard resources", None, ".NT")))
            elif kind == "swc":
                self.slots.append(swc(self.tag, f"Ext{n}", swc_names[n % len(swc_names)], "CHIPSET" if not amd else "AMD_PSP"))
            elif kind == "wmi":
                self.slots.append(acpi("PNP0C14", f"WM{n:02d}", "Microsoft Windows Management Interface for ACPI", "system",
                                       ib("wmiacpi.inf", "Microsoft Windows Management Interface for ACPI", None, ".NT")))
            elif kind == "dtt":
                self.slots.append(acpi("INTC1046", f"TFN{n}", "Intel(R) Dynamic Tuning Technology Generic Participant", "system",
                                       pk("DPTF", "Intel(R) Dynamic Tuning Technology Generic Participant", None)))
            elif kind == "pcix":
                name = functions[n % len(functions)]
                dev = "%04X" % ((0x14A0 if amd else 0x4300) + (zlib.crc32(name.encode()) & 0x3FF) + n)
                cc = "118000" if "Thermal" in name or "Telemetry" in name else "088000"
                if amd:
                    self.slots.append(pci("1022", dev, self.subsys, "00", cc, "%04X" % (0x0741 + n), name, "system",
                                          pk("AMD_PSP", name, None), parent="4&%s&0" % h32(self.subsys + "amdgpp")))
                else:
                    name = f"{getattr(self, 'family_name', 'Intel(R)')} {name[9:]} - {dev}"
                    self.slots.append(pci("8086", dev, self.subsys, "01", cc, "%02X" % (0x80 + n % 128), name, "system", pk("CHIPSET", name, None)))
            elif kind == "rp" and self.kind == "vmware":
                self.slots.append(pci("15AD", "07A0", self.subsys, "01", "060400", "%02X" % (0xC8 + n), "PCI Express Root Port", "system",
                                      ib("pci.inf", "PCI Express Root Port", None), match="cc", parent="3&61AAA01&0"))
            elif kind == "rp" and amd:
                self.slots.append(pci("1022", "1634", self.subsys, "00", "060400", "%02X" % (0x40 + n), "PCI Express Root Port", "system",
                                      ib("pci.inf", "PCI Express Root Port", None), parent="3&2411E6FE&0", match="cc"))
            elif kind == "rp":
                dev = "%04X" % (0x3400 + n)
                name = f"Intel(R) PCI Express Root Port #{n % 24 + 1} - {dev}"
                self.slots.append(pci("8086", dev, self.subsys, "01", "060400", "%02X" % (n % 256), name, "system", pk("CHIPSET", name, None)))
            else:
                self.slots.append(slot(f"USB\\VID_0BDA&PID_5411\\6&{h32(self.tag + 'hub')}&0&{n}", "Generic USB Hub", "usb",
                                       ["USB\\VID_0BDA&PID_5411&REV_0136", "USB\\VID_0BDA&PID_5411"],
                                       ["USB\\Class_09&SubClass_00&Prot_02", "USB\\Class_09&SubClass_00", "USB\\Class_09"],
                                       ib("usb.inf", "Generic USB Hub", "usb\\class_09", ".NT")))
        if len(self.slots) > target:
            keep = sorted(rng.sample(range(len(self.slots)), target))
            self.slots = [self.slots[i] for i in keep]
        # Some vendor drivers were never installed on this model's image: Windows has no
        # driver for those devices, and no setup class either.
        for i, s in enumerate(self.slots):
            if s[5] is not None and s[5][0] == "pk" and s[2] in NO_DRIVER_CLASSES and rng.random() < 0.28:
                if s[0].startswith("PCI\\"):
                    desc = NO_DRIVER_PCI.get(s[3][2][-6:-2], "PCI Device")
                else:
                    desc = "" if s[0].startswith("ACPI\\") else s[1]
                self.slots[i] = (s[0], desc, None, s[3], s[4], None)

    def _number_infs(self, rng):
        """oemNN.inf numbers: what Windows gave each vendor driver on this model's image,
        in the order the releases came out."""
        used = set()
        for s in self.slots + [x for _, opts in self.alts for o in opts for x in o]:
            if s[5] and s[5][0] == "pk":
                used.add(s[5][1])
        used |= {"ETH_RTKUSB", "DOCKFW", "AUD_IDA", "VPN"}
        pairs = sorted((r[0], key, j) for key in used for j, r in enumerate(self.pkgs[key].releases) if self.pkgs[key].inf is None)
        n = rng.randrange(3, 30)
        self.oem = {}
        for _, key, j in pairs:
            self.oem.setdefault(key, {})[j] = n
            n += 1 + rng.randrange(3)
        self.oem_next = n + 5


def make_models(count, seed, devices):
    """The models and how common each is. Models differ in size; the sizes are scaled so
    that the fleet's machines have `devices` devices on average."""
    goal = devices
    for _ in range(3):
        models, weights = build_models(count, seed, devices)
        probes = 12
        mean = sum(w * sum(len(Host(-1 - k, m, seed).devices()) for k in range(probes)) / probes
                   for m, w in zip(models, weights)) / sum(weights)
        if abs(mean - goal) < 0.005 * goal:
            break
        devices *= goal / mean
    return models, weights


def build_models(count, seed, devices):
    rng = random.Random(f"{seed}:models")
    kinds = ["laptop-tgl"] * 3 + ["laptop-adl"] * 3 + ["laptop-rpl"] * 2 + ["laptop-mtl"] + ["laptop-cml-u"] * 2 + ["laptop-amd"] * 2 + \
            ["desktop-cml-s"] * 2 + ["desktop-adl-s"] * 2 + ["laptop-nvidia", "desktop-nvidia"]
    forced = {5: "server", 11: "vmware", 17: "hyperv", 23: "server"}
    models, weights, pool = [], [], []
    for i in range(count):
        if i not in forced and not pool:
            pool = list(kinds)
            rng.shuffle(pool)
        kind = forced.get(i) or pool.pop()
        models.append(Model(i, seed, devices, kind))
        w = 1.0 / (1 + i) ** 0.7
        weights.append(w * (0.2 if kind in ("server", "vmware", "hyperv") else 1.0))
    return models, weights


# --- hosts ----------------------------------------------------------------------------


class Host:
    def __init__(self, index, model, seed):
        self.index = index
        self.model = model
        rng = random.Random(f"{seed}:host:{index}")
        self.rng = rng
        self.name = ("SRV-%05d" if model.server else "PC-%05d") % (index + 1)
        mix = model.os_mix
        fams = sorted(mix)
        self.family = rng.choices(fams, [mix[f] for f in fams])[0]
        revs = OS_FAMILIES[self.family][1]
        r = rng.random()
        self.rev_index = len(revs) - 1 if r < 0.82 else len(revs) - 2 if r < 0.95 else len(revs) - 3
        r = rng.random()
        self.locale = "ja" if r < model.ja else "fr" if r < model.ja + model.fr else "en"
        self.tr = TRANSLATIONS[self.locale].get if self.locale != "en" else None
        self.rel = {}
        self.oem_next = model.oem_next + rng.randrange(0, 4)

    @property
    def os(self):
        return "10.0.%s.%s" % (self.family, OS_FAMILIES[self.family][1][self.rev_index])

    def header(self):
        return ("qvdev1\nhost=%s\nos=%s\narch=amd64\nserver=%d\n" % (self.name, self.os, self.model.server)).encode()

    def release(self, key):
        j = self.rel.get(key)
        if j is None:
            w = self.model.relw[key]
            j = self.rng.choices(range(len(w)), w)[0]
            self.rel[key] = j
        return j

    def inbox(self, inf):
        prefix, _, revs = OS_FAMILIES[self.family]
        return "%s.%d" % (prefix, revs[zlib.crc32(inf.encode()) % len(revs)])

    def resolve(self, plan):
        """The six driver values of a device on this host, and the package they came from."""
        if plan is None:
            return None, None
        if plan[0] == "pk":
            _, key, ddesc, match = plan
            pkg = self.model.pkgs[key]
            j = self.release(key)
            date, ver = pkg.releases[j][:2]
            ver = f"{date} {ver}" if date else ver
            if pkg.bare:
                return (ver, ddesc, None, None, None, None), (key, j)
            return (ver, ddesc, pkg.provider, pkg.inf or "oem%d.inf" % self.model.oem[key][j], pkg.ext, match), (key, j)
        _, inf, ddesc, match, ext, date = plan
        if self.tr:
            ddesc = self.tr(ddesc, ddesc)
        return ((date or INBOX_DATE) + " " + self.inbox(inf), ddesc, "Microsoft", inf, ext, match), None

    def device(self, s):
        drv, origin = self.resolve(s[5])
        desc = self.tr(s[1], s[1]) if self.tr else s[1]
        return (s[0], desc, s[2], s[3], s[4], drv), origin

    def devices(self):
        """[(sort key, device, package origin, shared)] in Windows' order."""
        m, rng = self.model, self.rng
        out = []
        slots = list(m.slots)
        for weights, opts in m.alts:
            slots += rng.choices(opts, weights)[0]
        for s in slots:
            dev, origin = self.device(s)
            out.append((sort_key(s[0]), dev, origin, True))
        for dev, shared in self.extras():
            out.append((sort_key(dev[0]), dev, None, shared))
        out.sort(key=lambda e: e[0])
        return out

    def extras(self):
        """Devices that vary between machines of one model: [(device, shared)]; shared ones
        (docks, keyboards, monitors) recur on other machines of the model, the rest exist here alone."""
        m, rng = self.model, self.rng
        out = []
        add = lambda s, shared=False: out.append((self.device(s)[0], shared))
        win11 = self.family != "19045" and not m.server
        if not m.vm:
            # monitors
            n = rng.choices([0, 1, 2], [3, 5, 2] if m.laptop else [1, 6, 3])[0] if not m.server else 0
            for k in range(n):
                pnp, name = rng.choice(MONITORS)
                desc = f"Generic Monitor ({name})" if win11 else "Generic PnP Monitor"
                add(slot(f"DISPLAY\\{pnp}\\5&{h32(m.tag + 'disp')}&0&{m.monitor_uids[k]}", desc, "monitor", [f"MONITOR\\{pnp}"], ["*PNP09FF"],
                         ib("monitor.inf", "Generic PnP Monitor", "*pnp09ff")), True)
            # dock, keyboard, mouse
            if m.laptop and rng.random() < 0.45:
                for s in self._dock():
                    add(*s)
            if not m.server and (not m.laptop or rng.random() < 0.5):
                for s in self._keyboard_mouse():
                    add(s, True)
            if m.laptop and getattr(m, "camera", None):
                vid, pid, name = m.camera
                serial = rng.random() < 0.5
                root = m.usb_roots[0][0]
                inst = ("%012X" % rng.getrandbits(48)) if serial else f"5&{h32(root)}&0&{rng.choice([5, 6])}"
                comp = usb_composite(vid, pid, "0012", inst)
                add(comp, not serial)
                add(usb_iface(comp[0], vid, pid, "0012", 0, ("0E", "03", "00"), name, "camera",
                              ib("usbvideo.inf", "USB Video Device", "usb\\class_0e")), not serial)
                add(usb_iface(comp[0], vid, pid, "0012", 2, ("0E", "03", "00"), name.replace("Camera", "IR Camera").replace("Webcam", "IR Camera"),
                              "camera", ib("usbvideo.inf", "USB Video Device", "usb\\class_0e")), not serial)
        # volumes of the system disk, and shadow copies
        disk = guid(rng)
        for off in ["0000000000100000", "0000000007500000", "%016X" % (rng.randrange(0x7700000000, 0x7720000000) & ~0xFFFFF)][: rng.choice([2, 3, 3])]:
            add(slot(f"STORAGE\\VOLUME\\{disk}#{off}", "Volume", "volume", ["STORAGE\\Volume"], [], ib("volume.inf", "Volume", "storage\\volume", ".NT")))
        for n in range(rng.choice([0, 0, 1, 2])):
            add(slot(f"STORAGE\\VOLUMESNAPSHOT\\HARDDISKVOLUMESNAPSHOT{n + 1}", "Generic volume shadow copy", "volsnap", ["STORAGE\\VolumeSnapshot"], [],
                     ib("volsnap.inf", "Generic volume shadow copy", "storage\\volumesnapshot", ".NT")), True)
        # audio endpoints
        if not m.server:
            ends = ["Speakers (Realtek(R) Audio)", "Microphone Array (Intel® Smart Sound Technology for Digital Microphones)",
                    "Headphones (Realtek(R) Audio)", "Microphone (Realtek(R) Audio)"]
            if m.vm:
                ends = ["Remote Audio"]
            for name in ends[: rng.randrange(1, len(ends) + 1)]:
                flow = "0.0.1" if name.startswith("Micro") else "0.0.0"
                add(slot(f"SWD\\MMDEVAPI\\{{{flow}.00000000}}.{guid(rng)}", name, "audioendpoint", ["MMDEVAPI\\AudioEndpoints"], [],
                         ib("audioendpoint.inf", "Audio Endpoint", "mmdevapi\\audioendpoints")))
        # print queues
        queues = ["Microsoft Print to PDF", "OneNote (Desktop)", "Fax"]
        if self.family == "19045":
            queues.append("Microsoft XPS Document Writer")
        queues += rng.sample(QUEUES[self.locale], rng.randrange(0, 3))
        for q in queues[: 2 + rng.randrange(len(queues) - 1)]:
            add(self._queue(q))
        # USB devices with serial numbers, phones, paired Bluetooth devices
        if not m.server and not m.vm:
            if rng.random() < 0.3:
                for s in self._flash_drive():
                    add(*s)
            if rng.random() < 0.15:
                for s in self._phone():
                    add(*s)
            if m.laptop and rng.random() < 0.5:
                for s in self._bluetooth(rng.randrange(1, 4)):
                    add(*s)
        if m.kind == "hyperv":
            for cls_guid, name, inf, cls in [("{f8615163-df3e-46c5-913f-f2d2f965ed0e}", "Microsoft Hyper-V Network Adapter", "wnetvsc.inf", "net"),
                                             ("{ba6163d9-04a1-4d29-b605-72e2ffb1dc7f}", "Microsoft Hyper-V SCSI Controller", "wstorvsc.inf", "scsi"),
                                             ("{44c4f61d-4444-4400-9d52-802e27ede19f}", "Microsoft Hyper-V PCI Bus", "wvpci.inf", "system"),
                                             ("{c376c1c3-d276-48d2-90a9-c04748072c60}", "Microsoft Hyper-V Activation Component", "wvmic.inf", "system")]:
                add(slot(f"VMBUS\\{cls_guid}\\{guid(rng)}", name, cls, [f"VMBUS\\{cls_guid}"], [], ib(inf, name, f"vmbus\\{cls_guid}")))
        return out

    def _queue(self, name):
        rng = self.rng
        if name == "Microsoft Print to PDF":
            hw = "PRINTENUM\\{084f01fa-e634-4d77-83ee-074817c03581}"
        elif name == "Microsoft XPS Document Writer":
            hw = "PRINTENUM\\{0f4130dd-19c7-7ab6-99a1-980f03b2ee4e}"
        else:
            hw = "PRINTENUM\\LocalPrintQueue"
        return slot(f"SWD\\PRINTENUM\\{guid(rng)}", name, "printqueue", [hw, "PRINTENUM\\LocalPrintQueue"][: 1 if hw.endswith("Queue") else 2], [],
                    ib("printqueue.inf", "Local Print Queue", hw.lower()))

    def _keyboard_mouse(self):
        m, rng = self.model, self.rng
        root, ports = rng.choice(m.usb_roots)
        out = []
        sets = [("046D", "C534", "2901", [(0, 1, ["keyboard"]), (1, 2, ["mouse", "consumer", "system", "vendor", "vendor"])]),
                ("413C", "2113", "0110", [(0, 1, ["keyboard"]), (1, 0, ["consumer", "system"])]),
                ("045E", "07B2", "0714", [(0, 1, ["keyboard"]), (1, 0, ["consumer", "system", "vendor"]), (2, 0, ["mouse"])]),
                ("03F0", "2F4A", "0100", [(0, 1, ["keyboard"]), (1, 0, ["consumer", "system"])])]
        port = 0
        for vid, pid, rev, ifaces in rng.sample(sets, rng.choice([1, 1, 2])):
            comp = usb_composite(vid, pid, rev, f"5&{h32(root)}&0&{ports[port]}")
            port += 1
            out.append(comp)
            for mi, proto, cols in ifaces:
                out += input_device(comp[0], vid, pid, rev, mi, proto, cols)
        if rng.random() < 0.6:
            vid, pid = rng.choice([("413C", "301A"), ("046D", "C077"), ("045E", "0823")])
            out += [usb_device(vid, pid, "0100", f"5&{h32(root)}&0&{ports[2]}", "USB Input Device", "hid", ("03", "01", "02"),
                               ib("input.inf", "USB Input Device", "usb\\class_03"))]
            out.append(hid_collection(out[-1][0], f"VID_{vid}&PID_{pid}", "0100", 0, "mouse", f"VID_{vid}"))
        return out

    def _dock(self):
        """A dock: hubs and audio shared with other docked machines, its network adapter
        known by the serial number (its MAC address)."""
        m, rng = self.model, self.rng
        root = m.usb_roots[-1][0]
        out = []
        hub = f"USB\\VID_0BDA&PID_0487\\5&{h32(root)}&0&1"
        out.append((slot(hub, "Generic SuperSpeed USB Hub", "usb", ["USB\\VID_0BDA&PID_0487&REV_0147", "USB\\VID_0BDA&PID_0487"],
                         ["USB\\Class_09&SubClass_00&Prot_03", "USB\\Class_09&SubClass_00", "USB\\Class_09"],
                         ib("usbhub3.inf", "Generic SuperSpeed USB Hub", "usb\\class_09&subclass_00&prot_03")), True))
        hub2 = f"USB\\VID_0BDA&PID_5487\\5&{h32(root)}&0&2"
        out.append((slot(hub2, "Generic USB Hub", "usb", ["USB\\VID_0BDA&PID_5487&REV_0147", "USB\\VID_0BDA&PID_5487"],
                         ["USB\\Class_09&SubClass_00&Prot_02", "USB\\Class_09&SubClass_00", "USB\\Class_09"],
                         ib("usb.inf", "Generic USB Hub", "usb\\class_09", ".NT")), True))
        mac = "%012X" % (0x8C47BE000000 | rng.getrandbits(24))
        nic = usb_device("0BDA", "8153", "3100", mac, "Realtek USB GbE Family Controller", "net", ("FF", "FF", "00"),
                         pk("ETH_RTKUSB", "Realtek USB GbE Family Controller", "usb\\vid_0bda&pid_8153&rev_3100"))
        out.append((nic, False))
        audio = usb_composite("0BDA", "402E", "0001", f"6&{h32(hub2)}&0&3")
        out.append((audio, True))
        out.append((usb_iface(audio[0], "0BDA", "402E", "0001", 0, ("01", "01", "20"), "USB Audio", "media",
                              ib("wdma_usb.inf", "USB Audio 2.0", "usb\\class_01&subclass_01&prot_20")), True))
        out.append((slot(f"USB\\VID_413C&PID_B06E\\6&{h32(hub)}&0&4", "Dell dock", "usb", ["USB\\VID_413C&PID_B06E&REV_0101", "USB\\VID_413C&PID_B06E"],
                         ["USB\\Class_11&SubClass_00&Prot_00", "USB\\Class_11&SubClass_00", "USB\\Class_11"],
                         pk("DOCKFW", "Dell dock", None)), True))
        return out

    def _flash_drive(self):
        rng = self.rng
        vid, pid, rev, desc, (ven, prod, prodrev), disk_name = rng.choice(SERIAL_USB)
        serial = "%020d" % rng.getrandbits(64) if vid == "0781" else "%016X" % rng.getrandbits(64)
        usb = usb_device(vid, pid, rev, serial, desc, "usb", ("08", "06", "50"), ib("usbstor.inf", "USB Mass Storage Device", "usb\\class_08"))
        stor = f"USBSTOR\\Disk&Ven_{ven}&Prod_{prod}&Rev_{prodrev}"
        disk = slot(f"{stor}\\{serial}&0", disk_name, "disk",
                    [stor, f"USBSTOR\\Disk{ven:8.8}{prod:16.16}", f"USBSTOR\\Disk{ven:8.8}", f"USBSTOR\\{ven:8.8}{prod:16.16}{prodrev[:1]}",
                     f"{ven:8.8}{prod:16.16}{prodrev[:1]}", "USBSTOR\\GenDisk"], ["USBSTOR\\Disk", "USBSTOR\\RAW", "GenDisk"],
                    ib("disk.inf", "Disk drive", "gendisk"))
        label = rng.choice(["USB DRIVE", "KINGSTON", "Clé USB de " + rng.choice(NAMES), "データ", "BACKUP", ""])
        wpd_id = f"SWD\\WPDBUSENUM\\_??_USBSTOR#DISK&VEN_{ven.upper()}&PROD_{prod.upper()}&REV_{prodrev.upper()}#{serial}&0#{{53F56307-B6BF-11D0-94F2-00A0C91EFB8B}}"
        wpd = slot(wpd_id, label or "E:\\", "wpd", ["SWD\\GenericRaw", "SWD\\Generic"], [], ib("wpdfs.inf", "WPD FileSystem Volume Driver", "swd\\generic"))
        vol = slot(f"STORAGE\\VOLUME\\_??_USBSTOR#DISK&VEN_{ven.upper()}&PROD_{prod.upper()}&REV_{prodrev.upper()}#{serial}&0#{{53f56307-b6bf-11d0-94f2-00a0c91efb8b}}",
                   "Volume", "volume", ["STORAGE\\Volume"], [], ib("volume.inf", "Volume", "storage\\volume", ".NT"))
        return [(usb, False), (disk, False), (wpd, False), (vol, False)]

    def _phone(self):
        rng = self.rng
        who = rng.choice(NAMES)
        if rng.random() < 0.6:
            udid = "%08X%016X" % (rng.getrandbits(32), rng.getrandbits(64))
            comp = usb_composite("05AC", "12A8", "1602", udid, "Apple Mobile Device USB Composite Device")
            name = rng.choice([f"iPhone de {who}", f"{who}のiPhone", f"{who}'s iPhone", "Apple iPhone"])
            wpd = usb_iface(comp[0], "05AC", "12A8", "1602", 0, ("06", "01", "01"), name, "wpd", ib("wpdmtp.inf", "MTP USB Device", "usb\\mtp"))
        else:
            serial = "%X" % rng.getrandbits(56)
            comp = usb_composite("18D1", "4EE1", "0440", serial)
            name = rng.choice(["Pixel 8", "Pixel 7a", f"Téléphone de {who}"])
            wpd = usb_iface(comp[0], "18D1", "4EE1", "0440", 0, ("FF", "FF", "00"), name, "wpd", ib("wpdmtp.inf", "MTP USB Device", "usb\\mtp"))
        return [(comp, False), (wpd, False)]

    def _bluetooth(self, count):
        rng = self.rng
        out = []
        for _ in range(count):
            thing, vidx, pid = rng.choice(BT_THINGS)
            who = rng.choice(NAMES)
            name = rng.choice([thing, f"{thing} de {who}", f"{who}'s {thing}", f"{who}の{thing}", f"{thing} (id={rng.randrange(1, 9)})"])
            mac = "%012X" % rng.getrandbits(48)
            dev = f"BTHENUM\\Dev_{mac}\\8&{h32(mac)}&0&BluetoothDevice_{mac}"
            out.append((slot(dev, name, "bluetooth", ["BTHENUM\\Dev_" + mac], ["BTHENUM\\GENERIC_DEVICE"],
                             ib("bth.inf", "Bluetooth Device", "bthenum\\generic_device")), False))
            svc = f"BTHENUM\\{{0000110e-0000-1000-8000-00805f9b34fb}}_VID&{vidx}_PID&{pid}"
            out.append((slot(f"{svc}\\8&{h32(mac + 'avrcp')}&0&{mac}_C00000000", "Avrcp Transport", "bluetooth",
                             [svc, "BTHENUM\\{0000110e-0000-1000-8000-00805f9b34fb}_LOCALMFG&0002"], ["BTHENUM\\{0000110e-0000-1000-8000-00805f9b34fb}"],
                             ib("bthavrcp.inf", "Avrcp Transport", "bthenum\\{0000110e-0000-1000-8000-00805f9b34fb}")), False))
        return out


# --- writing --------------------------------------------------------------------------

RENDERED = {}


def render(dev):
    iid, desc, cls, hwids, cids, drv = dev
    parts = ["[device]\ninstance_id=", iid, "\ndescription=", desc, "\n"]
    if cls:
        parts += ["class_guid=", cls, "\n"]
    for h in hwids:
        parts += ["hwid=", h, "\n"]
    for c in cids:
        parts += ["cid=", c, "\n"]
    if drv:
        ver, ddesc, prov, inf, ext, match = drv
        parts += ["driver_ver=", ver, "\ndriver_desc=", ddesc, "\n"]
        for key, value in (("driver_provider=", prov), ("driver_inf=", inf), ("driver_ext=", ext), ("driver_matching_id=", match)):
            if value is not None:
                parts += [key, value, "\n"]
    return "".join(parts).encode()


def text(dev, shared):
    if not shared:
        return render(dev)
    t = RENDERED.get(dev)
    if t is None:
        t = RENDERED[dev] = render(dev)
    return t


def write_report(path, data, date):
    with open(path, "wb") as f:
        f.write(data)
    t = calendar.timegm((date.year, date.month, date.day, 6, 0, 0))
    os.utime(path, (t, t))


def share(args, models, weights):
    date = datetime.date.fromisoformat(args.date)
    pick = random.Random(f"{args.seed}:assign")
    total = 0
    for i in range(args.hosts):
        model = pick.choices(models, weights)[0]
        host = Host(i, model, args.seed)
        devs = host.devices()
        data = host.header() + b"".join(text(d, shared) for _, d, _, shared in devs)
        folder = os.path.join(args.out, host.name)
        os.makedirs(folder, exist_ok=True)
        write_report(os.path.join(folder, f"{date.isoformat()}.txt"), data, date)
        total += len(data)
    return args.hosts, total


class DailyHost:
    """One machine over the days: its devices, kept in Windows' order, change a little each day."""

    def __init__(self, host, change):
        self.host = host
        self.change = change
        # [(sort key, device, origin, text)]
        self.entries = [(k, d, o, text(d, s)) for k, d, o, s in host.devices()]
        fam_revs = OS_FAMILIES[host.family][1]
        # the month's update reaches most machines in the two weeks after Patch Tuesday
        self.update_day = None
        if host.rev_index == len(fam_revs) - 1 and host.rng.random() < 0.9:
            host.rev_index -= 1
            self.update_day = datetime.date(2026, 11, 10) + datetime.timedelta(days=host.rng.randrange(0, 15))
        self.added = 0

    def step(self, day):
        h, rng = self.host, self.host.rng
        if self.update_day == day:
            h.rev_index += 1
        n = len(self.entries) * self.change
        count = int(n) + (rng.random() < n - int(n))
        for _ in range(count):
            what = rng.choices(["driver", "removed", "added", "description"], [4, 2, 2, 2])[0]
            getattr(self, "_" + what)(day)

    def _replace(self, i, dev, origin):
        k = self.entries[i][0]
        self.entries[i] = (k, dev, origin, render(dev))

    def _driver(self, day):
        """A vendor driver updated on one device: the fleet's next release of it when there
        is one, else a newer build; either way a new oemNN.inf."""
        rng, h = self.host.rng, self.host
        by_pkg = {}
        for i, e in enumerate(self.entries):
            if e[2] is not None and e[1][5] and e[1][5][2] is not None:
                by_pkg.setdefault(e[2][0], []).append(i)
        if not by_pkg:
            return self._description(day)
        i = rng.choice(by_pkg[rng.choice(sorted(by_pkg))])
        k, dev, (key, j), _ = self.entries[i]
        pkg = h.model.pkgs[key]
        ver, ddesc, prov, inf, ext, match = dev[5]
        if j + 1 < len(pkg.releases):
            j += 1
            date, new = pkg.releases[j][:2]
        else:
            parts = [int(x) for x in ver.split(" ")[-1].split(".")]
            parts[3] = min(65535, parts[3] + rng.randrange(1, 60))
            new = ".".join(map(str, parts))
            # Intel's chipset INFs all carry the same made-up date
            date = ver[:10] if key == "CHIPSET" else (day - datetime.timedelta(days=rng.randrange(2, 40))).isoformat()
            j = len(pkg.releases)  # past what the fleet has seen
        inf = "oem%d.inf" % h.oem_next
        h.oem_next += 1
        self._replace(i, dev[:5] + ((f"{date} {new}", ddesc, prov, inf, ext, match),), (key, j))

    def _removed(self, day):
        """A device that comes and goes: something plugged in, a monitor, a print queue, a volume."""
        rng = self.host.rng
        cands = [i for i, e in enumerate(self.entries) if e[0][0] in ("USB", "USBSTOR", "BTHENUM", "DISPLAY", "STORAGE")
                 or (e[0][0] == "SWD" and e[0][1] in ("MMDEVAPI", "PRINTENUM", "WPDBUSENUM") and e[0][2] != "PRINTQUEUES")]
        if len(cands) > 5:
            del self.entries[rng.choice(cands)]
        else:
            self._description(day)

    def _added(self, day):
        h, rng = self.host, self.host.rng
        what = rng.choice(["queue", "flash", "bt", "monitor", "endpoint"])
        if what == "queue":
            devs = [h._queue(rng.choice(QUEUES[h.locale]))]
        elif what == "flash":
            devs = [h._flash_drive()[rng.randrange(2)][0]]
        elif what == "bt":
            devs = [h._bluetooth(1)[0][0]]
        elif what == "monitor":
            pnp, name = rng.choice(MONITORS)
            devs = [slot(f"DISPLAY\\{pnp}\\7&{h32(h.name + str(self.added))}&0&UID{rng.randrange(256, 65536)}",
                         f"Generic Monitor ({name})" if h.family != "19045" else "Generic PnP Monitor", "monitor", [f"MONITOR\\{pnp}"],
                         ["*PNP09FF"], ib("monitor.inf", "Generic PnP Monitor", "*pnp09ff"))]
        else:
            devs = [slot(f"SWD\\MMDEVAPI\\{{0.0.0.00000000}}.{guid(rng)}", rng.choice(["Headphones (Jabra Evolve2 65)", "Speakers (USB Audio)",
                                                                                     "Casque (Jabra Evolve2 65)", "ヘッドホン (USB Audio)"]),
                         "audioendpoint", ["MMDEVAPI\\AudioEndpoints"], [], ib("audioendpoint.inf", "Audio Endpoint", "mmdevapi\\audioendpoints"))]
        self.added += 1
        for s in devs:
            dev = h.device(s)[0]
            k = sort_key(dev[0])
            if any(e[0] == k for e in self.entries):
                continue
            bisect.insort(self.entries, (k, dev, None, render(dev)), key=lambda e: e[0])

    def _description(self, day):
        """A device under a new name, as Windows renames them: a second adapter of a kind,
        an endpoint seen again on another port, a print queue added twice."""
        rng = self.host.rng
        cands = [i for i, e in enumerate(self.entries) if e[1][2] in RENAMED_CLASSES and e[0][0] != "ROOT"
                 and not (e[0][0] == "SWD" and e[0][1] in ("MSRRAS", "IP_TUNNEL_VBUS"))]
        i = rng.choice(cands) if cands else rng.randrange(len(self.entries))
        k, dev, origin, _ = self.entries[i]
        desc, cls = dev[1], dev[2]
        head, sep, num = desc.rpartition(" #")
        if cls == CLS["audioendpoint"] and "(" in desc:
            name, paren, port = desc.partition("(")
            n, dash, rest = port.partition("- ")
            port = f"{int(n) + 1}- {rest}" if dash and n.isdigit() else f"2- {port}"
            desc = name + paren + port
        elif cls == CLS["printqueue"]:
            head, sep, num = desc.rpartition(" (Copy ")
            desc = f"{head} (Copy {int(num[:-1]) + 1})" if sep and num[:-1].isdigit() else f"{desc} (Copy 1)"
        elif desc.startswith("Generic PnP Monitor"):
            desc = "Generic Monitor (%s)" % rng.choice(MONITORS)[1]
        elif sep and num.isdigit():
            desc = f"{head} #{int(num) + 1}"
        elif desc == "":
            desc = "Unknown device"
        else:
            desc = f"{desc} #2"
        self._replace(i, (dev[0], desc) + dev[2:], origin)

    def report(self):
        return self.host.header() + b"".join(e[3] for e in self.entries)


def daily(args, models, weights):
    end = datetime.date.fromisoformat(args.end)
    days = [end - datetime.timedelta(days=args.days - 1 - n) for n in range(args.days)]
    pick = random.Random(f"{args.seed}:assign")
    total = files = 0
    for i in range(args.hosts):
        model = pick.choices(models, weights)[0]
        host = Host(i, model, args.seed)
        folder = os.path.join(args.out, host.name)
        os.makedirs(folder, exist_ok=True)
        dh = DailyHost(host, args.change)
        for n, day in enumerate(days):
            if n:
                dh.step(day)
            elif dh.update_day == day:
                host.rev_index += 1
            data = dh.report()
            write_report(os.path.join(folder, f"{day.isoformat()}.txt"), data, day)
            total += len(data)
            files += 1
    return files, total


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0], formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = p.add_subparsers(dest="mode", required=True)
    for mode in ("share", "daily"):
        s = sub.add_parser(mode)
        s.add_argument("out")
        s.add_argument("--hosts", type=int, default=10000 if mode == "share" else 1000)
        s.add_argument("--devices", type=int, default=250)
        s.add_argument("--models", type=int, default=36)
        s.add_argument("--seed", type=int, default=1)
        if mode == "share":
            s.add_argument("--date", default="2026-12-07")
        else:
            s.add_argument("--days", type=int, default=30)
            s.add_argument("--change", type=float, default=0.01)
            s.add_argument("--end", default="2026-12-07")
    args = p.parse_args()
    if args.hosts < 1 or args.devices < 1 or args.models < 1:
        p.error("--hosts, --devices and --models must be at least 1")
    start = time.monotonic()
    models, weights = make_models(args.models, args.seed, args.devices)
    files, total = (share if args.mode == "share" else daily)(args, models, weights)
    seconds = time.monotonic() - start
    print(f"{files} reports, {total} bytes ({total / 1e9:.2f} GB), {total / files / 1024:.1f} KiB on average, "
          f"{seconds:.1f} s", file=sys.stderr)


if __name__ == "__main__":
    main()

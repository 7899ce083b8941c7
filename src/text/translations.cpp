#include "text/translations.h"

// Conventions kept in every language: the key letters "L:" and "R:" and the "(1-17)" of the
// menu stay Latin so the screen matches the keyboard; the "L: ..." hint of rows 3 and 19 is
// row 4 verbatim, and the Esc hint of row 20 is the one inside the brackets of row 5. Labels
// carry no colon (the screen adds ": "). Protocol names stay as written: HTTPS, IP, IPv4, IPv6,
// UPnP, WAN, NAT, NAT-PMP, PCP.

namespace talvo {

const LanguageTexts kTranslations[kLanguageCount] = {
    // English
    {{
         u"Estimates compatibility with direct HTTPS sharing.",  // 0
         u"No files are shared and router settings are not changed.",
         u"The public IP lookup service receives a request from this network.",
         u"Press any key to start | L: language",
         u"L: language",
         u"Checking network... (Esc: cancel)",  // 5
         u"[ CHECK CANCELLED ]",
         u"[ CHECK ERROR ] Please retry.",
         u"[ LIKELY COMPATIBLE ]",
         u"[ LOW COMPATIBILITY ESTIMATE ]",
         u"Estimated compatibility score",  // 10
         u"Evidence",
         u"HIGH",
         u"MEDIUM",
         u"LOW",
         u"Reason",  // 15
         u"Check network requirements and retry if needed.",
         u"Estimate only: not a connection probability or guarantee.",
         u"Product information",
         u"R: retry | L: language | any other key: exit",
         u"Choose language (1-17); Esc: cancel",  // 20
         u"Invalid selection.",
     },
     {
         u"No active network route is available.",  // 0
         u"A blocking policy was confirmed for all relevant routes.",
         u"Some inbound-network requirements could not be checked.",
         u"A public IPv4 address is assigned directly to this PC.",
         u"A public IPv4 address is assigned locally; external matching was not confirmed.",
         u"A public IPv6 route is available. Recipients may also need IPv6.",  // 5
         u"Your router's UPnP WAN address matches the observed public address.",
         u"Your router's NAT-PMP address matches the observed address.",
         u"Your router responded to PCP and its address matches.",
         u"The router address matches; automatic mapping is unconfirmed.",
         u"A router service was found; its external address is unconfirmed.",  // 10
         u"Carrier-grade NAT is indicated; alternative routes are unconfirmed.",
         u"Possible double NAT; upstream forwarding is unconfirmed.",
     }},

    // Korean
    {{
         u"직접 HTTPS 공유의 네트워크 호환성을 추정합니다.",  // 0
         u"파일을 공유하거나 공유기 설정을 변경하지 않습니다.",
         u"공인 IP 조회 서비스에 이 네트워크의 요청이 전달됩니다.",
         u"아무 키: 검사 시작 | L: 언어 변경",
         u"L: 언어 변경",
         u"네트워크 검사 중... (Esc: 취소)",  // 5
         u"[ 검사 취소 ]",
         u"[ 검사 오류 ] 다시 시도하세요.",
         u"[ 호환 가능성 높음 ]",
         u"[ 호환도 추정 낮음 ]",
         u"호환도 추정 지수",  // 10
         u"근거 수준",
         u"높음",
         u"보통",
         u"낮음",
         u"이유",  // 15
         u"네트워크 요구사항을 확인하고 필요하면 다시 검사하세요.",
         u"추정치이며 실제 연결 성공 확률이나 작동 보장이 아닙니다.",
         u"제품 정보",
         u"R: 다시 검사 | L: 언어 변경 | 다른 키: 종료",
         u"언어 선택 (1-17), Esc: 취소",  // 20
         u"잘못된 선택입니다.",
     },
     {
         u"활성 네트워크 경로가 없습니다.",  // 0
         u"관련된 모든 경로에 차단 정책이 확인됐습니다.",
         u"직접 공유에 필요한 일부 조건을 확인하지 못했습니다.",
         u"이 PC에 공인 IPv4 주소가 직접 할당돼 있습니다.",
         u"공인 IPv4가 할당됐으나 외부 주소 일치는 확인되지 않았습니다.",
         u"공인 IPv6 경로를 확인했습니다. 받는 쪽에도 IPv6가 필요할 수 있습니다.",  // 5
         u"공유기의 UPnP WAN 주소와 외부에서 관측한 공인 주소가 일치합니다.",
         u"공유기의 NAT-PMP 주소와 외부에서 관측한 주소가 일치합니다.",
         u"공유기가 PCP에 응답했고 주소가 일치합니다.",
         u"공유기 주소는 일치하지만 자동 포트 설정은 확인되지 않았습니다.",
         u"공유기 서비스를 찾았지만 외부 주소는 확인되지 않았습니다.",  // 10
         u"통신사 NAT가 감지됐으며 대체 경로는 확인되지 않았습니다.",
         u"이중 NAT 가능성이 있으며 상위 포트 전달은 확인되지 않았습니다.",
     }},

    // Japanese
    {{
         u"直接HTTPS共有に対するネットワークの互換性を推定します。",  // 0
         u"ファイルの共有やルーター設定の変更は行いません。",
         u"グローバルIP確認サービスに、このネットワークからリクエストが送信されます。",
         u"任意のキー: チェック開始 | L: 言語変更",
         u"L: 言語変更",
         u"ネットワークをチェック中... (Esc: キャンセル)",  // 5
         u"[ チェックをキャンセルしました ]",
         u"[ チェックエラー ] もう一度お試しください。",
         u"[ 互換性がある可能性が高い ]",
         u"[ 互換性は低いと推定 ]",
         u"互換性推定スコア",  // 10
         u"根拠レベル",
         u"高",
         u"中",
         u"低",
         u"理由",  // 15
         u"ネットワーク要件を確認し、必要に応じてもう一度チェックしてください。",
         u"推定値であり、接続できる確率を示すものでも、動作を保証するものでもありません。",
         u"製品情報",
         u"R: 再チェック | L: 言語変更 | その他のキー: 終了",
         u"言語を選択 (1-17)、Esc: キャンセル",  // 20
         u"無効な選択です。",
     },
     {
         u"アクティブなネットワーク経路がありません。",  // 0
         u"関連するすべての経路でブロックポリシーが確認されました。",
         u"受信接続に必要な条件の一部を確認できませんでした。",
         u"このPCにグローバルIPv4アドレスが直接割り当てられています。",
         u"グローバルIPv4アドレスがローカルに割り当てられていますが、外部アドレスとの一致は未確認です。",
         u"グローバルIPv6経路を利用できます。受信側にもIPv6が必要な場合があります。",  // 5
         u"ルーターのUPnP WANアドレスが、外部から見たグローバルアドレスと一致しています。",
         u"ルーターのNAT-PMPアドレスが、外部から見たアドレスと一致しています。",
         u"ルーターがPCPに応答し、アドレスも一致しています。",
         u"ルーターのアドレスは一致していますが、自動ポートマッピングは未確認です。",
         u"ルーターのサービスが見つかりましたが、外部アドレスは未確認です。",  // 10
         u"キャリアグレードNATの兆候があり、代替経路は未確認です。",
         u"二重NATの可能性があり、上位ルーターでのポート転送は未確認です。",
     }},

    // Simplified Chinese
    {{
         u"估计网络对直接 HTTPS 共享的兼容性。",  // 0
         u"不会共享任何文件，也不会更改路由器设置。",
         u"公网 IP 查询服务将收到来自此网络的请求。",
         u"按任意键开始检测 | L: 切换语言",
         u"L: 切换语言",
         u"正在检测网络... (Esc: 取消)",  // 5
         u"[ 检测已取消 ]",
         u"[ 检测出错 ] 请重试。",
         u"[ 很可能兼容 ]",
         u"[ 兼容性估计较低 ]",
         u"兼容性估计得分",  // 10
         u"证据强度",
         u"高",
         u"中",
         u"低",
         u"原因",  // 15
         u"请检查网络要求，必要时重新检测。",
         u"仅为估计值，并非连接成功概率或可用性保证。",
         u"产品信息",
         u"R: 重新检测 | L: 切换语言 | 其他键: 退出",
         u"选择语言 (1-17)，Esc: 取消",  // 20
         u"选择无效。",
     },
     {
         u"没有可用的活动网络路由。",  // 0
         u"已确认所有相关路由均受阻止策略限制。",
         u"未能检测入站连接所需的部分条件。",
         u"公网 IPv4 地址已直接分配给此电脑。",
         u"已在本地分配公网 IPv4 地址，但未确认其与外部地址一致。",
         u"有可用的公网 IPv6 路由。接收方可能也需要 IPv6。",  // 5
         u"路由器的 UPnP WAN 地址与外部观测到的公网地址一致。",
         u"路由器的 NAT-PMP 地址与外部观测到的地址一致。",
         u"路由器响应了 PCP，且地址一致。",
         u"路由器地址一致，但未确认自动端口映射。",
         u"已找到路由器服务，但未确认其外部地址。",  // 10
         u"检测到运营商级 NAT 迹象，未确认替代路由。",
         u"可能存在双重 NAT，未确认上级设备的端口转发。",
     }},

    // Traditional Chinese
    {{
         u"估計網路對直接 HTTPS 共用的相容性。",  // 0
         u"不會共用任何檔案，也不會變更路由器設定。",
         u"公用 IP 查詢服務會收到來自此網路的要求。",
         u"按任意鍵開始檢測 | L: 切換語言",
         u"L: 切換語言",
         u"正在檢測網路... (Esc: 取消)",  // 5
         u"[ 檢測已取消 ]",
         u"[ 檢測錯誤 ] 請重試。",
         u"[ 很可能相容 ]",
         u"[ 相容性估計偏低 ]",
         u"相容性估計分數",  // 10
         u"證據強度",
         u"高",
         u"中",
         u"低",
         u"原因",  // 15
         u"請確認網路需求，必要時重新檢測。",
         u"僅為估計值，並非連線成功機率或運作保證。",
         u"產品資訊",
         u"R: 重新檢測 | L: 切換語言 | 其他鍵: 結束",
         u"選擇語言 (1-17)，Esc: 取消",  // 20
         u"無效的選擇。",
     },
     {
         u"沒有可用的作用中網路路由。",  // 0
         u"已確認所有相關路由皆受封鎖原則限制。",
         u"無法檢測部分輸入連線所需的條件。",
         u"公用 IPv4 位址已直接指派給此電腦。",
         u"已在本機指派公用 IPv4 位址，但尚未確認與外部位址一致。",
         u"可使用公用 IPv6 路由。接收方可能也需要 IPv6。",  // 5
         u"路由器的 UPnP WAN 位址與外部觀察到的公用位址一致。",
         u"路由器的 NAT-PMP 位址與外部觀察到的位址一致。",
         u"路由器已回應 PCP，且位址一致。",
         u"路由器位址一致，但尚未確認自動連接埠對應。",
         u"已找到路由器服務，但尚未確認其外部位址。",  // 10
         u"偵測到電信級 NAT 跡象，尚未確認替代路由。",
         u"可能為雙重 NAT，尚未確認上游裝置的連接埠轉送。",
     }},

    // Spanish
    {{
         u"Estima la compatibilidad con el uso compartido directo por HTTPS.",  // 0
         u"No se comparte ningún archivo ni se cambia la configuración del router.",
         u"El servicio de consulta de IP pública recibirá una solicitud desde esta red.",
         u"Presione cualquier tecla para comenzar | L: idioma",
         u"L: idioma",
         u"Comprobando la red... (Esc: cancelar)",  // 5
         u"[ COMPROBACIÓN CANCELADA ]",
         u"[ ERROR EN LA COMPROBACIÓN ] Vuelva a intentarlo.",
         u"[ PROBABLEMENTE COMPATIBLE ]",
         u"[ COMPATIBILIDAD ESTIMADA BAJA ]",
         u"Puntuación de compatibilidad estimada",  // 10
         u"Nivel de evidencia",
         u"ALTO",
         u"MEDIO",
         u"BAJO",
         u"Motivo",  // 15
         u"Revise los requisitos de red y vuelva a intentarlo si es necesario.",
         u"Solo es una estimación: no es una probabilidad de conexión ni una garantía.",
         u"Información del producto",
         u"R: reintentar | L: idioma | otra tecla: salir",
         u"Elija el idioma (1-17); Esc: cancelar",  // 20
         u"Selección no válida.",
     },
     {
         u"No hay ninguna ruta de red activa disponible.",  // 0
         u"Se confirmó una directiva de bloqueo en todas las rutas pertinentes.",
         u"No se pudieron comprobar algunos requisitos para las conexiones entrantes.",
         u"Este PC tiene asignada directamente una dirección IPv4 pública.",
         u"Hay una dirección IPv4 pública asignada localmente; no se confirmó que coincida con la externa.",
         u"Hay una ruta IPv6 pública disponible. Es posible que los destinatarios también necesiten IPv6.",  // 5
         u"La dirección WAN UPnP de su router coincide con la dirección pública observada.",
         u"La dirección NAT-PMP de su router coincide con la dirección observada.",
         u"Su router respondió a PCP y su dirección coincide.",
         u"La dirección del router coincide; no se confirmó la asignación automática de puertos.",
         u"Se encontró un servicio del router; no se confirmó su dirección externa.",  // 10
         u"Hay indicios de NAT de operador; no se confirmaron rutas alternativas.",
         u"Posible doble NAT; no se confirmó el reenvío de puertos en el router superior.",
     }},

    // French
    {{
         u"Estime la compatibilité avec le partage HTTPS direct.",  // 0
         u"Aucun fichier n'est partagé et les paramètres du routeur ne sont pas modifiés.",
         u"Le service de détection de l'IP publique reçoit une requête provenant de ce réseau.",
         u"Appuyez sur une touche pour commencer | L: langue",
         u"L: langue",
         u"Vérification du réseau... (Échap: annuler)",  // 5
         u"[ VÉRIFICATION ANNULÉE ]",
         u"[ ERREUR DE VÉRIFICATION ] Veuillez réessayer.",
         u"[ PROBABLEMENT COMPATIBLE ]",
         u"[ COMPATIBILITÉ ESTIMÉE FAIBLE ]",
         u"Score de compatibilité estimé",  // 10
         u"Niveau de preuve",
         u"ÉLEVÉ",
         u"MOYEN",
         u"FAIBLE",
         u"Motif",  // 15
         u"Vérifiez la configuration réseau requise et réessayez si nécessaire.",
         u"Ce n'est qu'une estimation, et non une probabilité de connexion ou une garantie.",
         u"Informations sur le produit",
         u"R: réessayer | L: langue | autre touche: quitter",
         u"Choisissez la langue (1-17), Échap: annuler",  // 20
         u"Sélection non valide.",
     },
     {
         u"Aucune route réseau active n'est disponible.",  // 0
         u"Une stratégie de blocage a été confirmée pour toutes les routes concernées.",
         u"Certaines conditions requises pour les connexions entrantes n'ont pas pu être vérifiées.",
         u"Une adresse IPv4 publique est attribuée directement à ce PC.",
         u"Une adresse IPv4 publique est attribuée localement, mais sa correspondance avec l'adresse externe n'est pas confirmée.",
         u"Une route IPv6 publique est disponible. Les destinataires peuvent aussi avoir besoin d'IPv6.",  // 5
         u"L'adresse WAN UPnP de votre routeur correspond à l'adresse publique observée.",
         u"L'adresse NAT-PMP de votre routeur correspond à l'adresse observée.",
         u"Votre routeur a répondu à PCP et son adresse correspond.",
         u"L'adresse du routeur correspond, mais le mappage automatique de ports n'est pas confirmé.",
         u"Un service du routeur a été trouvé, mais son adresse externe n'est pas confirmée.",  // 10
         u"Des indices signalent un NAT de niveau opérateur, et aucune route alternative n'est confirmée.",
         u"Double NAT possible, et la redirection de ports en amont n'est pas confirmée.",
     }},

    // German
    {{
         u"Schätzt die Kompatibilität mit direkter HTTPS-Freigabe.",  // 0
         u"Es werden keine Dateien freigegeben und keine Routereinstellungen geändert.",
         u"Der Dienst zur Abfrage der öffentlichen IP erhält eine Anfrage aus diesem Netzwerk.",
         u"Beliebige Taste: Prüfung starten | L: Sprache",
         u"L: Sprache",
         u"Netzwerk wird geprüft... (Esc: Abbrechen)",  // 5
         u"[ PRÜFUNG ABGEBROCHEN ]",
         u"[ PRÜFUNGSFEHLER ] Bitte erneut versuchen.",
         u"[ WAHRSCHEINLICH KOMPATIBEL ]",
         u"[ KOMPATIBILITÄT ALS GERING GESCHÄTZT ]",
         u"Geschätzter Kompatibilitätswert",  // 10
         u"Stärke der Hinweise",
         u"HOCH",
         u"MITTEL",
         u"GERING",
         u"Grund",  // 15
         u"Prüfen Sie die Netzwerkanforderungen und wiederholen Sie die Prüfung bei Bedarf.",
         u"Nur eine Schätzung: keine Verbindungswahrscheinlichkeit und keine Garantie.",
         u"Produktinformationen",
         u"R: Erneut prüfen | L: Sprache | Andere Taste: Beenden",
         u"Sprache wählen (1-17); Esc: Abbrechen",  // 20
         u"Ungültige Auswahl.",
     },
     {
         u"Keine aktive Netzwerkroute verfügbar.",  // 0
         u"Für alle relevanten Routen wurde eine Sperrrichtlinie bestätigt.",
         u"Einige Voraussetzungen für eingehende Verbindungen konnten nicht geprüft werden.",
         u"Diesem PC ist direkt eine öffentliche IPv4-Adresse zugewiesen.",
         u"Eine öffentliche IPv4-Adresse ist lokal zugewiesen; die Übereinstimmung mit der externen Adresse ist nicht bestätigt.",
         u"Eine öffentliche IPv6-Route ist verfügbar. Empfänger benötigen eventuell ebenfalls IPv6.",  // 5
         u"Die UPnP-WAN-Adresse Ihres Routers stimmt mit der beobachteten öffentlichen Adresse überein.",
         u"Die NAT-PMP-Adresse Ihres Routers stimmt mit der beobachteten Adresse überein.",
         u"Ihr Router hat auf PCP geantwortet und seine Adresse stimmt überein.",
         u"Die Routeradresse stimmt überein; eine automatische Portfreigabe ist nicht bestätigt.",
         u"Ein Routerdienst wurde gefunden; seine externe Adresse ist nicht bestätigt.",  // 10
         u"Hinweise auf Carrier-Grade-NAT; alternative Routen sind nicht bestätigt.",
         u"Möglicherweise doppeltes NAT; die Portweiterleitung im vorgelagerten Router ist nicht bestätigt.",
     }},

    // Italian
    {{
         u"Stima la compatibilità con la condivisione HTTPS diretta.",  // 0
         u"Nessun file viene condiviso e le impostazioni del router non vengono modificate.",
         u"Il servizio di rilevamento dell'IP pubblico riceve una richiesta da questa rete.",
         u"Premi un tasto qualsiasi per iniziare | L: lingua",
         u"L: lingua",
         u"Verifica della rete in corso... (Esc: annulla)",  // 5
         u"[ VERIFICA ANNULLATA ]",
         u"[ ERRORE DI VERIFICA ] Riprova.",
         u"[ PROBABILMENTE COMPATIBILE ]",
         u"[ COMPATIBILITÀ STIMATA BASSA ]",
         u"Punteggio di compatibilità stimato",  // 10
         u"Solidità degli indizi",
         u"ALTA",
         u"MEDIA",
         u"BASSA",
         u"Motivo",  // 15
         u"Controlla i requisiti di rete e riprova se necessario.",
         u"Solo una stima: non indica la probabilità di connessione né costituisce una garanzia.",
         u"Informazioni sul prodotto",
         u"R: riprova | L: lingua | altro tasto: esci",
         u"Scegli la lingua (1-17); Esc: annulla",  // 20
         u"Selezione non valida.",
     },
     {
         u"Nessun percorso di rete attivo disponibile.",  // 0
         u"È stato confermato un criterio di blocco per tutti i percorsi pertinenti.",
         u"Non è stato possibile verificare alcuni requisiti per le connessioni in ingresso.",
         u"A questo PC è assegnato direttamente un indirizzo IPv4 pubblico.",
         u"Un indirizzo IPv4 pubblico è assegnato localmente; la corrispondenza con l'indirizzo esterno non è confermata.",
         u"È disponibile un percorso IPv6 pubblico. Anche i destinatari potrebbero aver bisogno di IPv6.",  // 5
         u"L'indirizzo WAN UPnP del router corrisponde all'indirizzo pubblico rilevato.",
         u"L'indirizzo NAT-PMP del router corrisponde all'indirizzo rilevato.",
         u"Il router ha risposto a PCP e il suo indirizzo corrisponde.",
         u"L'indirizzo del router corrisponde; la mappatura automatica delle porte non è confermata.",
         u"È stato trovato un servizio del router; il suo indirizzo esterno non è confermato.",  // 10
         u"Indizi di NAT a livello di operatore; i percorsi alternativi non sono confermati.",
         u"Possibile doppio NAT; l'inoltro delle porte a monte non è confermato.",
     }},

    // Brazilian Portuguese
    {{
         u"Estima a compatibilidade com o compartilhamento direto via HTTPS.",  // 0
         u"Nenhum arquivo é compartilhado e as configurações do roteador não são alteradas.",
         u"O serviço de consulta de IP público recebe uma solicitação desta rede.",
         u"Pressione qualquer tecla para começar | L: idioma",
         u"L: idioma",
         u"Verificando a rede... (Esc: cancelar)",  // 5
         u"[ VERIFICAÇÃO CANCELADA ]",
         u"[ ERRO NA VERIFICAÇÃO ] Tente novamente.",
         u"[ PROVAVELMENTE COMPATÍVEL ]",
         u"[ COMPATIBILIDADE ESTIMADA BAIXA ]",
         u"Pontuação de compatibilidade estimada",  // 10
         u"Nível de evidência",
         u"ALTO",
         u"MÉDIO",
         u"BAIXO",
         u"Motivo",  // 15
         u"Verifique os requisitos de rede e tente novamente, se necessário.",
         u"Apenas uma estimativa: não é uma probabilidade de conexão nem uma garantia.",
         u"Informações do produto",
         u"R: tentar novamente | L: idioma | outra tecla: sair",
         u"Escolha o idioma (1-17); Esc: cancelar",  // 20
         u"Seleção inválida.",
     },
     {
         u"Nenhuma rota de rede ativa está disponível.",  // 0
         u"Uma política de bloqueio foi confirmada em todas as rotas relevantes.",
         u"Não foi possível verificar alguns requisitos para conexões de entrada.",
         u"Um endereço IPv4 público está atribuído diretamente a este PC.",
         u"Um endereço IPv4 público está atribuído localmente; a correspondência com o endereço externo não foi confirmada.",
         u"Uma rota IPv6 pública está disponível. Os destinatários também podem precisar de IPv6.",  // 5
         u"O endereço WAN UPnP do seu roteador corresponde ao endereço público observado.",
         u"O endereço NAT-PMP do seu roteador corresponde ao endereço observado.",
         u"Seu roteador respondeu ao PCP e o endereço corresponde.",
         u"O endereço do roteador corresponde; o mapeamento automático de portas não foi confirmado.",
         u"Um serviço do roteador foi encontrado; o endereço externo não foi confirmado.",  // 10
         u"Há indícios de NAT da operadora; rotas alternativas não foram confirmadas.",
         u"Possível NAT duplo; o redirecionamento de portas no roteador superior não foi confirmado.",
     }},

    // Indonesian
    {{
         u"Memperkirakan kompatibilitas dengan berbagi langsung melalui HTTPS.",  // 0
         u"Tidak ada file yang dibagikan dan pengaturan router tidak diubah.",
         u"Layanan pemeriksa IP publik menerima permintaan dari jaringan ini.",
         u"Tekan tombol apa saja untuk mulai | L: bahasa",
         u"L: bahasa",
         u"Memeriksa jaringan... (Esc: batal)",  // 5
         u"[ PEMERIKSAAN DIBATALKAN ]",
         u"[ KESALAHAN PEMERIKSAAN ] Silakan coba lagi.",
         u"[ KEMUNGKINAN BESAR KOMPATIBEL ]",
         u"[ PERKIRAAN KOMPATIBILITAS RENDAH ]",
         u"Perkiraan skor kompatibilitas",  // 10
         u"Tingkat bukti",
         u"TINGGI",
         u"SEDANG",
         u"RENDAH",
         u"Alasan",  // 15
         u"Periksa persyaratan jaringan dan coba lagi jika perlu.",
         u"Hanya perkiraan: bukan peluang keberhasilan koneksi ataupun jaminan.",
         u"Informasi produk",
         u"R: coba lagi | L: bahasa | tombol lain: keluar",
         u"Pilih bahasa (1-17); Esc: batal",  // 20
         u"Pilihan tidak valid.",
     },
     {
         u"Tidak ada rute jaringan aktif yang tersedia.",  // 0
         u"Kebijakan pemblokiran dikonfirmasi untuk semua rute terkait.",
         u"Beberapa persyaratan untuk koneksi masuk tidak dapat diperiksa.",
         u"Alamat IPv4 publik ditetapkan langsung ke PC ini.",
         u"Alamat IPv4 publik ditetapkan secara lokal; kecocokannya dengan alamat eksternal belum dikonfirmasi.",
         u"Rute IPv6 publik tersedia. Penerima mungkin juga memerlukan IPv6.",  // 5
         u"Alamat WAN UPnP router Anda cocok dengan alamat publik yang teramati.",
         u"Alamat NAT-PMP router Anda cocok dengan alamat yang teramati.",
         u"Router Anda merespons PCP dan alamatnya cocok.",
         u"Alamat router cocok; pemetaan port otomatis belum dikonfirmasi.",
         u"Layanan router ditemukan; alamat eksternalnya belum dikonfirmasi.",  // 10
         u"Terindikasi NAT tingkat operator; rute alternatif belum dikonfirmasi.",
         u"Kemungkinan NAT ganda; penerusan port di perangkat hulu belum dikonfirmasi.",
     }},

    // Thai
    {{
         u"ประเมินความเข้ากันได้กับการแชร์ผ่าน HTTPS โดยตรง",  // 0
         u"ไม่มีการแชร์ไฟล์ และไม่มีการเปลี่ยนการตั้งค่าเราเตอร์",
         u"บริการตรวจสอบ IP สาธารณะจะได้รับคำขอจากเครือข่ายนี้",
         u"กดปุ่มใดก็ได้เพื่อเริ่ม | L: ภาษา",
         u"L: ภาษา",
         u"กำลังตรวจสอบเครือข่าย... (Esc: ยกเลิก)",  // 5
         u"[ ยกเลิกการตรวจสอบแล้ว ]",
         u"[ การตรวจสอบผิดพลาด ] โปรดลองอีกครั้ง",
         u"[ มีแนวโน้มว่าเข้ากันได้ ]",
         u"[ ประเมินว่าความเข้ากันได้ต่ำ ]",
         u"คะแนนประเมินความเข้ากันได้",  // 10
         u"ระดับหลักฐาน",
         u"สูง",
         u"ปานกลาง",
         u"ต่ำ",
         u"เหตุผล",  // 15
         u"ตรวจสอบข้อกำหนดด้านเครือข่าย และลองใหม่หากจำเป็น",
         u"เป็นเพียงการประเมิน ไม่ใช่โอกาสในการเชื่อมต่อสำเร็จหรือการรับประกัน",
         u"ข้อมูลผลิตภัณฑ์",
         u"R: ตรวจสอบอีกครั้ง | L: ภาษา | ปุ่มอื่น: ออก",
         u"เลือกภาษา (1-17), Esc: ยกเลิก",  // 20
         u"ตัวเลือกไม่ถูกต้อง",
     },
     {
         u"ไม่มีเส้นทางเครือข่ายที่ใช้งานอยู่",  // 0
         u"ยืนยันแล้วว่ามีนโยบายการบล็อกในทุกเส้นทางที่เกี่ยวข้อง",
         u"ไม่สามารถตรวจสอบข้อกำหนดบางอย่างสำหรับการเชื่อมต่อขาเข้าได้",
         u"PC เครื่องนี้ได้รับที่อยู่ IPv4 สาธารณะโดยตรง",
         u"มีที่อยู่ IPv4 สาธารณะในเครื่อง แต่ยังไม่ยืนยันว่าตรงกับที่อยู่ภายนอก",
         u"มีเส้นทาง IPv6 สาธารณะ ผู้รับอาจต้องใช้ IPv6 ด้วย",  // 5
         u"ที่อยู่ UPnP WAN ของเราเตอร์ตรงกับที่อยู่สาธารณะที่ตรวจพบจากภายนอก",
         u"ที่อยู่ NAT-PMP ของเราเตอร์ตรงกับที่อยู่ที่ตรวจพบจากภายนอก",
         u"เราเตอร์ตอบสนองต่อ PCP และที่อยู่ตรงกัน",
         u"ที่อยู่เราเตอร์ตรงกัน แต่ยังไม่ยืนยันการแมปพอร์ตอัตโนมัติ",
         u"พบบริการของเราเตอร์ แต่ยังไม่ยืนยันที่อยู่ภายนอก",  // 10
         u"พบสัญญาณของ NAT ระดับผู้ให้บริการ และยังไม่ยืนยันเส้นทางอื่น",
         u"อาจเป็น NAT สองชั้น และยังไม่ยืนยันการส่งต่อพอร์ตที่อุปกรณ์ชั้นบน",
     }},

    // Vietnamese
    {{
         u"Ước tính khả năng tương thích với chia sẻ HTTPS trực tiếp.",  // 0
         u"Không chia sẻ tệp nào và không thay đổi cài đặt bộ định tuyến.",
         u"Dịch vụ tra cứu IP công cộng sẽ nhận một yêu cầu từ mạng này.",
         u"Nhấn phím bất kỳ để bắt đầu | L: ngôn ngữ",
         u"L: ngôn ngữ",
         u"Đang kiểm tra mạng... (Esc: hủy)",  // 5
         u"[ ĐÃ HỦY KIỂM TRA ]",
         u"[ LỖI KIỂM TRA ] Vui lòng thử lại.",
         u"[ NHIỀU KHẢ NĂNG LÀ TƯƠNG THÍCH ]",
         u"[ KHẢ NĂNG TƯƠNG THÍCH ƯỚC TÍNH THẤP ]",
         u"Điểm khả năng tương thích ước tính",  // 10
         u"Mức độ bằng chứng",
         u"CAO",
         u"TRUNG BÌNH",
         u"THẤP",
         u"Lý do",  // 15
         u"Hãy kiểm tra các yêu cầu về mạng và thử lại nếu cần.",
         u"Chỉ là ước tính: không phải xác suất kết nối thành công hay sự bảo đảm.",
         u"Thông tin sản phẩm",
         u"R: thử lại | L: ngôn ngữ | phím khác: thoát",
         u"Chọn ngôn ngữ (1-17); Esc: hủy",  // 20
         u"Lựa chọn không hợp lệ.",
     },
     {
         u"Không có tuyến mạng nào đang hoạt động.",  // 0
         u"Đã xác nhận chính sách chặn trên tất cả các tuyến liên quan.",
         u"Không thể kiểm tra một số yêu cầu cho kết nối đến.",
         u"PC này được gán trực tiếp một địa chỉ IPv4 công cộng.",
         u"Có địa chỉ IPv4 công cộng được gán cục bộ; chưa xác nhận địa chỉ này khớp với địa chỉ bên ngoài.",
         u"Có tuyến IPv6 công cộng. Người nhận cũng có thể cần IPv6.",  // 5
         u"Địa chỉ WAN UPnP của bộ định tuyến khớp với địa chỉ công cộng quan sát được.",
         u"Địa chỉ NAT-PMP của bộ định tuyến khớp với địa chỉ quan sát được.",
         u"Bộ định tuyến đã phản hồi PCP và địa chỉ khớp.",
         u"Địa chỉ bộ định tuyến khớp; chưa xác nhận ánh xạ cổng tự động.",
         u"Đã tìm thấy dịch vụ của bộ định tuyến; chưa xác nhận địa chỉ bên ngoài.",  // 10
         u"Có dấu hiệu NAT cấp nhà mạng; chưa xác nhận tuyến thay thế.",
         u"Có thể bị NAT kép; chưa xác nhận chuyển tiếp cổng ở thiết bị phía trên.",
     }},

    // Turkish
    {{
         u"Doğrudan HTTPS paylaşımıyla uyumluluğu tahmin eder.",  // 0
         u"Hiçbir dosya paylaşılmaz ve yönlendirici ayarları değiştirilmez.",
         u"Genel IP sorgulama hizmeti bu ağdan bir istek alır.",
         u"Başlamak için herhangi bir tuşa basın | L: dil",
         u"L: dil",
         u"Ağ kontrol ediliyor... (Esc: iptal)",  // 5
         u"[ KONTROL İPTAL EDİLDİ ]",
         u"[ KONTROL HATASI ] Lütfen yeniden deneyin.",
         u"[ BÜYÜK OLASILIKLA UYUMLU ]",
         u"[ DÜŞÜK UYUMLULUK TAHMİNİ ]",
         u"Tahmini uyumluluk puanı",  // 10
         u"Kanıt düzeyi",
         u"YÜKSEK",
         u"ORTA",
         u"DÜŞÜK",
         u"Neden",  // 15
         u"Ağ gereksinimlerini kontrol edin ve gerekirse yeniden deneyin.",
         u"Yalnızca bir tahmindir: bağlantı olasılığı ya da garanti değildir.",
         u"Ürün bilgileri",
         u"R: yeniden dene | L: dil | diğer tuşlar: çıkış",
         u"Dil seçin (1-17); Esc: iptal",  // 20
         u"Geçersiz seçim.",
     },
     {
         u"Etkin bir ağ yolu yok.",  // 0
         u"İlgili tüm yollar için bir engelleme ilkesi doğrulandı.",
         u"Gelen bağlantı gereksinimlerinin bazıları kontrol edilemedi.",
         u"Bu bilgisayara doğrudan bir genel IPv4 adresi atanmış.",
         u"Yerel olarak bir genel IPv4 adresi atanmış; dış adresle eşleştiği doğrulanmadı.",
         u"Genel bir IPv6 yolu mevcut. Alıcıların da IPv6'ya ihtiyacı olabilir.",  // 5
         u"Yönlendiricinizin UPnP WAN adresi, gözlemlenen genel adresle eşleşiyor.",
         u"Yönlendiricinizin NAT-PMP adresi, gözlemlenen adresle eşleşiyor.",
         u"Yönlendiriciniz PCP'ye yanıt verdi ve adresi eşleşiyor.",
         u"Yönlendirici adresi eşleşiyor; otomatik port eşlemesi doğrulanmadı.",
         u"Bir yönlendirici hizmeti bulundu; dış adresi doğrulanmadı.",  // 10
         u"Operatör düzeyinde NAT belirtisi var; alternatif yollar doğrulanmadı.",
         u"Çift NAT olabilir; üst cihazdaki port yönlendirmesi doğrulanmadı.",
     }},

    // Hindi
    {{
         u"सीधे HTTPS साझाकरण के साथ संगतता का अनुमान लगाता है।",  // 0
         u"कोई फ़ाइल साझा नहीं की जाती और राउटर की सेटिंग्स नहीं बदली जातीं।",
         u"सार्वजनिक IP जाँच सेवा को इस नेटवर्क से एक अनुरोध मिलता है।",
         u"शुरू करने के लिए कोई भी कुंजी दबाएँ | L: भाषा",
         u"L: भाषा",
         u"नेटवर्क की जाँच हो रही है... (Esc: रद्द करें)",  // 5
         u"[ जाँच रद्द की गई ]",
         u"[ जाँच में त्रुटि ] कृपया फिर से प्रयास करें।",
         u"[ संभवतः संगत ]",
         u"[ कम संगतता का अनुमान ]",
         u"अनुमानित संगतता स्कोर",  // 10
         u"साक्ष्य स्तर",
         u"उच्च",
         u"मध्यम",
         u"निम्न",
         u"कारण",  // 15
         u"नेटवर्क आवश्यकताएँ जाँचें और ज़रूरत हो तो फिर से प्रयास करें।",
         u"केवल अनुमान: यह कनेक्शन की संभावना या गारंटी नहीं है।",
         u"उत्पाद जानकारी",
         u"R: फिर से जाँचें | L: भाषा | कोई अन्य कुंजी: बाहर निकलें",
         u"भाषा चुनें (1-17); Esc: रद्द करें",  // 20
         u"अमान्य चयन।",
     },
     {
         u"कोई सक्रिय नेटवर्क रूट उपलब्ध नहीं है।",  // 0
         u"सभी संबंधित रूट के लिए ब्लॉकिंग नीति की पुष्टि हुई।",
         u"इनबाउंड कनेक्शन की कुछ आवश्यकताएँ जाँची नहीं जा सकीं।",
         u"इस PC को सीधे एक सार्वजनिक IPv4 पता दिया गया है।",
         u"स्थानीय रूप से सार्वजनिक IPv4 पता दिया गया है; बाहरी पते से मिलान की पुष्टि नहीं हुई।",
         u"सार्वजनिक IPv6 रूट उपलब्ध है। प्राप्तकर्ताओं को भी IPv6 की ज़रूरत हो सकती है।",  // 5
         u"आपके राउटर का UPnP WAN पता बाहर से देखे गए सार्वजनिक पते से मेल खाता है।",
         u"आपके राउटर का NAT-PMP पता बाहर से देखे गए पते से मेल खाता है।",
         u"आपके राउटर ने PCP का जवाब दिया और उसका पता मेल खाता है।",
         u"राउटर का पता मेल खाता है; स्वचालित पोर्ट मैपिंग की पुष्टि नहीं हुई।",
         u"एक राउटर सेवा मिली; उसके बाहरी पते की पुष्टि नहीं हुई।",  // 10
         u"कैरियर-ग्रेड NAT के संकेत मिले; वैकल्पिक रूट की पुष्टि नहीं हुई।",
         u"संभवतः डबल NAT; ऊपरी डिवाइस पर पोर्ट फ़ॉरवर्डिंग की पुष्टि नहीं हुई।",
     }},

    // Polish
    {{
         u"Szacuje zgodność z bezpośrednim udostępnianiem przez HTTPS.",  // 0
         u"Żadne pliki nie są udostępniane, a ustawienia routera nie są zmieniane.",
         u"Usługa sprawdzania publicznego adresu IP otrzyma żądanie z tej sieci.",
         u"Naciśnij dowolny klawisz, aby rozpocząć | L: język",
         u"L: język",
         u"Sprawdzanie sieci... (Esc: anuluj)",  // 5
         u"[ SPRAWDZANIE ANULOWANE ]",
         u"[ BŁĄD SPRAWDZANIA ] Spróbuj ponownie.",
         u"[ ZGODNOŚĆ PRAWDOPODOBNA ]",
         u"[ NISKA SZACOWANA ZGODNOŚĆ ]",
         u"Szacowany wynik zgodności",  // 10
         u"Siła dowodów",
         u"WYSOKA",
         u"ŚREDNIA",
         u"NISKA",
         u"Powód",  // 15
         u"Sprawdź wymagania sieciowe i w razie potrzeby spróbuj ponownie.",
         u"To tylko oszacowanie, a nie prawdopodobieństwo połączenia ani gwarancja.",
         u"Informacje o produkcie",
         u"R: ponów | L: język | inny klawisz: wyjście",
         u"Wybierz język (1-17); Esc: anuluj",  // 20
         u"Nieprawidłowy wybór.",
     },
     {
         u"Brak aktywnej trasy sieciowej.",  // 0
         u"Potwierdzono zasady blokowania dla wszystkich istotnych tras.",
         u"Nie udało się sprawdzić niektórych wymagań dotyczących połączeń przychodzących.",
         u"Do tego komputera przypisano bezpośrednio publiczny adres IPv4.",
         u"Publiczny adres IPv4 przypisano lokalnie; nie potwierdzono, że zgadza się z adresem zewnętrznym.",
         u"Dostępna jest publiczna trasa IPv6. Odbiorcy mogą również potrzebować IPv6.",  // 5
         u"Adres WAN UPnP routera zgadza się z zaobserwowanym adresem publicznym.",
         u"Adres NAT-PMP routera zgadza się z zaobserwowanym adresem.",
         u"Router odpowiedział na PCP, a jego adres się zgadza.",
         u"Adres routera się zgadza; nie potwierdzono automatycznego mapowania portów.",
         u"Znaleziono usługę routera; nie potwierdzono jego adresu zewnętrznego.",  // 10
         u"Wykryto oznaki NAT po stronie operatora; nie potwierdzono alternatywnych tras.",
         u"Możliwy podwójny NAT; nie potwierdzono przekierowania portów na urządzeniu nadrzędnym.",
     }},

    // Russian
    {{
         u"Оценивает совместимость с прямым общим доступом по HTTPS.",  // 0
         u"Файлы не открываются для общего доступа, настройки роутера не изменяются.",
         u"Служба определения публичного IP получит запрос из этой сети.",
         u"Нажмите любую клавишу, чтобы начать | L: язык",
         u"L: язык",
         u"Проверка сети... (Esc: отмена)",  // 5
         u"[ ПРОВЕРКА ОТМЕНЕНА ]",
         u"[ ОШИБКА ПРОВЕРКИ ] Повторите попытку.",
         u"[ ВЕРОЯТНО, СОВМЕСТИМО ]",
         u"[ НИЗКАЯ ОЦЕНКА СОВМЕСТИМОСТИ ]",
         u"Оценочный балл совместимости",  // 10
         u"Уровень доказательности",
         u"ВЫСОКИЙ",
         u"СРЕДНИЙ",
         u"НИЗКИЙ",
         u"Причина",  // 15
         u"Проверьте требования к сети и при необходимости повторите проверку.",
         u"Это лишь оценка, а не вероятность подключения и не гарантия.",
         u"Информация о продукте",
         u"R: повторить | L: язык | другая клавиша: выход",
         u"Выберите язык (1-17); Esc: отмена",  // 20
         u"Неверный выбор.",
     },
     {
         u"Нет активного сетевого маршрута.",  // 0
         u"Для всех соответствующих маршрутов подтверждена политика блокировки.",
         u"Не удалось проверить некоторые условия для входящих подключений.",
         u"Этому ПК напрямую назначен публичный IPv4-адрес.",
         u"Публичный IPv4-адрес назначен локально; совпадение с внешним адресом не подтверждено.",
         u"Доступен публичный маршрут IPv6. Получателям тоже может понадобиться IPv6.",  // 5
         u"Адрес UPnP WAN вашего роутера совпадает с публичным адресом, видимым извне.",
         u"Адрес NAT-PMP вашего роутера совпадает с адресом, видимым извне.",
         u"Ваш роутер ответил по PCP, и его адрес совпадает.",
         u"Адрес роутера совпадает; автоматический проброс портов не подтверждён.",
         u"Найдена служба роутера; её внешний адрес не подтверждён.",  // 10
         u"Признаки NAT на стороне провайдера; альтернативные маршруты не подтверждены.",
         u"Возможен двойной NAT; проброс портов на вышестоящем устройстве не подтверждён.",
     }},
};

}  // namespace talvo
